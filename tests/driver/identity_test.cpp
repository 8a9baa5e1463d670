// The model grammar, the supported-model table and the ratings a simulated
// session derives from its model.
#include <gtest/gtest.h>

#include <string>

#include "QmDC.h"
#include "driver/identity.h"
#include "driver/orvane_session.h"
#include "driver_test_support.h"
#include "kiln/session/call_frame.h"

using qmdc_test::ErrorDescription;
using qmdc_test::Session;

TEST(ModelGrammar, AcceptedFormsGiveTheirRatings) {
    struct Case {
        const char* model;
        double volts, amps, watts;
    };
    const Case cases[] = {
        {"Rack 30-70 QM", 30, 70, 1500},       {"bench 400-2.5 qm", 400, 2.5, 600},
        {"  Rack 30 - 70 QM  ", 30, 70, 1500}, {"Rack 60-25 QM", 60, 25, 1500},
        {"BENCH\t100-10QM", 100, 10, 600},
    };
    for (const Case& c : cases) {
        kiln::ModelRatings ratings;
        ASSERT_EQ(kiln::ParseModel(c.model, ratings), kiln::ModelParse::Ok) << c.model;
        EXPECT_DOUBLE_EQ(ratings.maxVoltage, c.volts) << c.model;
        EXPECT_DOUBLE_EQ(ratings.maxCurrent, c.amps) << c.model;
        EXPECT_DOUBLE_EQ(ratings.maxPower, c.watts) << c.model;
    }
}

TEST(ModelGrammar, RejectedForms) {
    for (const char* model : {"Rack30-70 QM", "Rack 30-70", "Rack .5-70 QM", "Rack 5.-70 QM",
                              "Desk 30-70 QM", "Rack 30-70 QM x", "", "Rack -30-70 QM"}) {
        kiln::ModelRatings ratings;
        EXPECT_EQ(kiln::ParseModel(model, ratings), kiln::ModelParse::NoMatch) << model;
    }
    kiln::ModelRatings ratings;
    EXPECT_EQ(kiln::ParseModel("Rack " + std::string(400, '9') + "-70 QM", ratings),
              kiln::ModelParse::RatingTooLarge);
}

TEST(ModelTable, ListsTenModelsInStringOrder) {
    EXPECT_EQ(kiln::SupportedModelTable().size(), 10u);
    EXPECT_EQ(kiln::SupportedModelsText(),
              "Bench 100-10 QM,Bench 200-5 QM,Bench 30-33 QM,Bench 400-2.5 QM,Bench 50-20 QM,"
              "Rack 100-20 QM,Rack 200-10 QM,Rack 30-70 QM,Rack 400-5 QM,Rack 50-40 QM");
    auto session = qmdc_test::Simulated();
    kiln::DriverSession& s = *kiln::FindSession(session->vi());
    EXPECT_TRUE(s.IsModelInFamily("Rack 30-70 QM", "DefaultFamily"));
    EXPECT_FALSE(s.IsModelInFamily("Rack 30 - 70 QM", "DefaultFamily"));
    EXPECT_FALSE(s.IsModelInFamily("Rack 60-25 QM", "DefaultFamily"));
    EXPECT_FALSE(s.IsModelInFamily("Rack 30-70 QM", "defaultfamily"));
    EXPECT_TRUE(s.IsCurrentModelInFamily("DefaultFamily"));
    EXPECT_TRUE(s.IsModel("Rack 30-70 QM"));
    EXPECT_FALSE(s.IsModel("rack 30-70 qm"));
}

TEST(SimulatedIdentity, DefaultModelAndItsRatings) {
    auto session = qmdc_test::Simulated();
    auto& s = static_cast<OrvaneDCDriverSession&>(*kiln::FindSession(session->vi()));
    EXPECT_EQ(s.GetInstrumentModel(), "Rack 30-70 QM");
    EXPECT_DOUBLE_EQ(s.MaxVoltage(), 30.0);
    EXPECT_DOUBLE_EQ(s.MaxCurrent(), 70.0);
    EXPECT_DOUBLE_EQ(s.MaxPower(), 1500.0);
    EXPECT_EQ(kiln::InstrumentFirmwareRevisionText(s), "Sim1.0.0.0");
}

TEST(SimulatedIdentity, DriverSetupModelGivesItsRatings) {
    Session session("ASRL1::INSTR", "Simulate=1, DriverSetup=Model:Bench 50-20 QM");
    ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
    auto& s = static_cast<OrvaneDCDriverSession&>(*kiln::FindSession(session.vi()));
    EXPECT_DOUBLE_EQ(s.MaxVoltage(), 50.0);
    EXPECT_DOUBLE_EQ(s.MaxCurrent(), 20.0);
    EXPECT_DOUBLE_EQ(s.MaxPower(), 600.0);
}

TEST(SimulatedIdentity, ModelOutsideTheGrammarFailsInit) {
    for (const char* model : {"Rack30-70 QM", "Rack 30-70", "%s%s%n"}) {
        Session session("ASRL1::INSTR", std::string("Simulate=1, DriverSetup=Model:") + model);
        EXPECT_EQ(session.status(), QMDC_ERROR_CANNOT_RECOVER) << model;
        EXPECT_EQ(session.vi(), VI_NULL);
        EXPECT_EQ(ErrorDescription(VI_NULL),
                  std::string("Failure cannot recover.  Unrecognized model: ") + model);
    }
}

TEST(SimulatedIdentity, OverlargeRatingFailsInitClearly) {
    Session session("ASRL1::INSTR",
                    "Simulate=1, DriverSetup=Model:Rack 1" + std::string(400, '0') + "-5 QM");
    EXPECT_EQ(session.status(), QMDC_ERROR_CANNOT_RECOVER);
    EXPECT_NE(ErrorDescription(VI_NULL).find("are too large"), std::string::npos);
}
