// The typed attribute functions: the checks they make before any callback
// runs, in their order, with their exact texts, and the string buffer rules.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "QmDC.h"
#include "driver_test_support.h"
#include "guarded_buffer.h"
#include "kiln/attributes/attribute_registry.h"
#include "kiln/attributes/typed_access.h"

using qmdc_test::ErrorDescription;

namespace {

struct CheckCase {
    const char* what;
    std::function<ViStatus(ViSession)> call;
    ViStatus status;
    const char* description;
};

TEST(TypedAccess, ChecksComeFirstWithTheirTexts) {
    auto session = qmdc_test::Simulated();
    ViInt32 i = 0;
    ViReal64 r = 0;
    ViSession s = 0;
    ViChar text[64];
    const CheckCase cases[] = {
        {"id 0", [&](ViSession vi) { return QmDC_GetAttributeViInt32(vi, "", 0, &i); },
         QMDC_ERROR_INVALID_ATTRIBUTE, "Attribute ID '0' not recognized."},
        {"id -1 is written unsigned",
         [&](ViSession vi) {
             return QmDC_GetAttributeViReal64(vi, "", static_cast<ViAttr>(-1), &r);
         },
         QMDC_ERROR_INVALID_ATTRIBUTE, "Attribute ID '4294967295' not recognized."},
        {"unknown id on Set",
         [&](ViSession vi) { return QmDC_SetAttributeViBoolean(vi, "", 1050001, VI_TRUE); },
         QMDC_ERROR_INVALID_ATTRIBUTE, "Attribute ID '1050001' not recognized."},
        {"unknown id on string Get",
         [&](ViSession vi) { return QmDC_GetAttributeViString(vi, "", 7, sizeof text, text); },
         QMDC_ERROR_INVALID_ATTRIBUTE, "Attribute ID '7' not recognized."},
        {"Int32 Get of a Boolean",
         [&](ViSession vi) { return QmDC_GetAttributeViInt32(vi, "", QMDC_ATTR_RANGE_CHECK, &i); },
         QMDC_ERROR_TYPES_DO_NOT_MATCH,
         "GetAttributeViInt32 called for attribute 'QMDC_ATTR_RANGE_CHECK' of type 'ViBoolean'."},
        {"Session Get of a Boolean",
         [&](ViSession vi) { return QmDC_GetAttributeViSession(vi, "", QMDC_ATTR_CACHE, &s); },
         QMDC_ERROR_TYPES_DO_NOT_MATCH,
         "GetAttributeViSession called for attribute 'QMDC_ATTR_CACHE' of type 'ViBoolean'."},
        {"Real64 Set of an Int32",
         [&](ViSession vi) {
             return QmDC_SetAttributeViReal64(vi, "", QMDC_ATTR_CHANNEL_COUNT, 1.0);
         },
         QMDC_ERROR_TYPES_DO_NOT_MATCH,
         "SetAttributeViReal64 called for attribute 'QMDC_ATTR_CHANNEL_COUNT' of type 'ViInt32'."},
        {"String Get of a Boolean",
         [&](ViSession vi) {
             return QmDC_GetAttributeViString(vi, "", QMDC_ATTR_SIMULATE, sizeof text, text);
         },
         QMDC_ERROR_TYPES_DO_NOT_MATCH,
         "GetAttributeViString called for attribute 'QMDC_ATTR_SIMULATE' of type 'ViBoolean'."},
        {"type before access",
         [&](ViSession vi) {
             return QmDC_SetAttributeViInt32(vi, "", QMDC_ATTR_INSTRUMENT_MODEL, 1);
         },
         QMDC_ERROR_TYPES_DO_NOT_MATCH,
         "SetAttributeViInt32 called for attribute 'QMDC_ATTR_INSTRUMENT_MODEL' of type "
         "'ViString'."},
        {"read-only text",
         [&](ViSession vi) {
             return QmDC_SetAttributeViString(vi, "", QMDC_ATTR_INSTRUMENT_MODEL, "x");
         },
         QMDC_ERROR_ATTR_NOT_WRITABLE, "Attribute 'QMDC_ATTR_INSTRUMENT_MODEL' is read-only."},
        {"read-only integer",
         [&](ViSession vi) { return QmDC_SetAttributeViInt32(vi, "", QMDC_ATTR_CHANNEL_COUNT, 2); },
         QMDC_ERROR_ATTR_NOT_WRITABLE, "Attribute 'QMDC_ATTR_CHANNEL_COUNT' is read-only."},
        {"null value of the exported Get",
         [&](ViSession vi) {
             return QmDC_GetAttributeViInt32(vi, "", QMDC_ATTR_CHANNEL_COUNT, nullptr);
         },
         QMDC_ERROR_NULL_POINTER,
         "Null pointer passed for function 'QmDC_GetAttributeViInt32', parameter "
         "'AttributeValue'."},
        {"the exported null check comes before the lookup",
         [&](ViSession vi) { return QmDC_GetAttributeViBoolean(vi, "", 0, nullptr); },
         QMDC_ERROR_NULL_POINTER,
         "Null pointer passed for function 'QmDC_GetAttributeViBoolean', parameter "
         "'AttributeValue'."},
        {"a callback checks again, with its own name",
         [&](ViSession vi) {
             return kiln::GetAttribute<ViBoolean>(vi, "", QMDC_ATTR_CACHE, nullptr);
         },
         QMDC_ERROR_NULL_POINTER,
         "Null pointer passed for function 'QmDC_get_CACHE', parameter 'AttributeValue'."},
        {"a constant's callback too",
         [&](ViSession vi) {
             return kiln::GetAttribute<ViInt32>(
                 vi, "", QMDC_ATTR_SPECIFIC_DRIVER_CLASS_SPEC_MAJOR_VERSION, nullptr);
         },
         QMDC_ERROR_NULL_POINTER,
         "Null pointer passed for function 'QmDC_get_SPECIFIC_DRIVER_CLASS_SPEC_MAJOR_VERSION', "
         "parameter 'AttributeValue'."},
        {"null text buffer with a size",
         [&](ViSession vi) {
             return QmDC_GetAttributeViString(vi, "", QMDC_ATTR_SPECIFIC_DRIVER_PREFIX, 10,
                                              nullptr);
         },
         QMDC_ERROR_NULL_POINTER,
         "Null pointer passed for function 'GetAttributeViString', parameter "
         "'AttributeValueBufferSize'."},
    };
    for (const CheckCase& c : cases) {
        QmDC_ClearError(session->vi());
        EXPECT_EQ(c.call(session->vi()), c.status) << c.what;
        EXPECT_EQ(ErrorDescription(session->vi()), c.description) << c.what;
    }
}

// A registry of its own for what the driver's attributes never do: a
// write-only attribute, and counting callbacks.
TEST(TypedAccess, AccessAndTypeAreCheckedBeforeTheCallbackRuns) {
    auto session = qmdc_test::Simulated();
    int calls = 0;
    kiln::TypedCallbacks<ViInt32> writeOnly;
    writeOnly.setter = [&](ViSession, ViConstString, ViInt32) {
        ++calls;
        return VI_SUCCESS;
    };
    kiln::TypedCallbacks<ViReal64> readOnly;
    readOnly.getter = [&](ViSession, ViConstString, ViReal64* value) {
        ++calls;
        *value = 2.5;
        return VI_SUCCESS;
    };
    std::vector<kiln::AttributeDescriptor> descriptors;
    descriptors.emplace_back(7, "TEST_ATTR_WRITE_ONLY", writeOnly);
    descriptors.emplace_back(8, "TEST_ATTR_READ_ONLY", readOnly);
    const kiln::AttributeRegistry registry(std::move(descriptors));
    const ViSession vi = session->vi();

    ViInt32 i = 0;
    EXPECT_EQ(kiln::GetAttribute(registry, vi, "", 7, &i), QMDC_ERROR_ATTR_NOT_READABLE);
    EXPECT_EQ(ErrorDescription(vi), "Attribute 'TEST_ATTR_WRITE_ONLY' is write-only.");
    EXPECT_EQ(kiln::SetAttribute(registry, vi, "", 8, 1.0), QMDC_ERROR_ATTR_NOT_WRITABLE);
    EXPECT_EQ(kiln::GetAttribute(registry, vi, "", 8, &i), QMDC_ERROR_TYPES_DO_NOT_MATCH);
    EXPECT_EQ(ErrorDescription(vi),
              "GetAttributeViInt32 called for attribute 'TEST_ATTR_READ_ONLY' of type 'ViReal64'.");
    EXPECT_EQ(calls, 0);

    ViReal64 r = 0;
    EXPECT_EQ(kiln::GetAttribute(registry, vi, "", 8, &r), VI_SUCCESS);
    EXPECT_EQ(r, 2.5);
    EXPECT_EQ(kiln::SetAttribute(registry, vi, "", 7, ViInt32{3}), VI_SUCCESS);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(registry.Find(9), nullptr);
}

struct BufferCase {
    ViInt32 size;
    bool nullBuffer;
    ViStatus status;
    const char* text;  // what the buffer holds afterwards (nullptr: untouched)
};

TEST(TypedAccess, StringBufferRules) {
    auto session = qmdc_test::Simulated();
    const BufferCase cases[] = {
        {8, false, VI_SUCCESS, "QmDC"},
        {6, false, VI_SUCCESS, "QmDC"},
        {5, false, 4096, "QmDC"},  // the text exactly fills the buffer
        {3, false, 4096, "Qm"},
        {1, false, 4096, ""},
        {0, false, 4096, nullptr},  // nothing is read or written
        {0, true, 4096, nullptr},
        // A negative size promises room for any value (4096 bytes).
        {-1, false, VI_SUCCESS, "QmDC"},
        {-2147483647 - 1, false, VI_SUCCESS, "QmDC"},
        {100000, false, VI_SUCCESS, "QmDC"},
    };
    for (const BufferCase& c : cases) {
        // As large as the size says, or as the negative size promises.
        qmdc_test::GuardedText buffer(c.size < 0 ? 4096 : static_cast<size_t>(c.size));
        const ViStatus status =
            QmDC_GetAttributeViString(session->vi(), "", QMDC_ATTR_SPECIFIC_DRIVER_PREFIX, c.size,
                                      c.nullBuffer ? nullptr : buffer.data());
        EXPECT_EQ(status, c.status) << c.size;
        EXPECT_EQ(buffer.Mismatch(c.text), "") << "size " << c.size;
    }
}

struct LongValueCase {
    size_t length;  // of the value
    ViInt32 size;   // the caller's
    ViStatus status;
    size_t read;  // characters the caller gets
};

// The getter writes into the caller's buffer with the caller's size; no value
// comes back longer than 4095 characters, and only a cut one answers 4096.
TEST(TypedAccess, NoValueIsLongerThan4095Characters) {
    const LongValueCase cases[] = {
        {4095, 10000, VI_SUCCESS, 4095},  // fits: a larger buffer is no warning
        {4095, 4096, 4096, 4095},  // exactly filled: may have been cut  {4095, 4095, 4096, 4094},
        {4095, -1, VI_SUCCESS, 4095},    {6000, 10000, 4096, 4095},
        {6000, -1, VI_SUCCESS, 4095},  // read as into 4096 bytes, the getter's status
    };
    for (const LongValueCase& c : cases) {
        // The resource descriptor of a session is whatever name it was opened on.
        std::string name = "TCPIP0::" + std::string(c.length, 'h') + "::5025::SOCKET";
        name.replace(c.length - 14, 14, "::5025::SOCKET");
        name.resize(c.length);
        qmdc_test::Session session(name, "Simulate=1");
        ASSERT_EQ(session.status(), VI_SUCCESS) << ErrorDescription(VI_NULL);
        qmdc_test::GuardedText buffer(c.size < 0 ? 4096 : static_cast<size_t>(c.size));
        EXPECT_EQ(QmDC_GetAttributeViString(session.vi(), "", QMDC_ATTR_IO_RESOURCE_DESCRIPTOR,
                                            c.size, buffer.data()),
                  c.status)
            << c.length << " into " << c.size;
        EXPECT_EQ(buffer.Overrun(), "") << c.length << " into " << c.size;
        EXPECT_EQ(buffer.Length(), c.read) << c.length << " into " << c.size;
        EXPECT_EQ(buffer.Text(), name.substr(0, c.read));
    }
}

// Every getter of the driver terminates its text; the typed Get must not
// rely on it. A getter that fills the whole size it is given, terminator
// left out, still leaves the caller a text ended within its size.
TEST(TypedAccess, AnUnterminatedValueIsEndedWithinTheCallersSize) {
    auto session = qmdc_test::Simulated();
    ViInt32 given = 0;
    kiln::TypedCallbacks<kiln::Text> unterminated;
    unterminated.getter = [&](ViSession, ViConstString, ViInt32 size, ViChar value[]) {
        given = size;
        std::memset(value, 'x', static_cast<size_t>(size));
        return VI_SUCCESS;
    };
    std::vector<kiln::AttributeDescriptor> descriptors;
    descriptors.emplace_back(7, "TEST_ATTR_UNTERMINATED", unterminated);
    const kiln::AttributeRegistry registry(std::move(descriptors));
    const std::pair<ViInt32, size_t> sizes[] = {{1, 0},       {2, 1},       {17, 16},
                                                {4096, 4095}, {5000, 4095}, {-1, 4095}};
    for (const auto& [size, length] : sizes) {
        qmdc_test::GuardedText buffer(size < 0 ? 4096 : static_cast<size_t>(size));
        const ViStatus status =
            kiln::GetAttributeText(registry, session->vi(), "", 7, size, buffer.data());
        EXPECT_EQ(status, size < 0 ? VI_SUCCESS : 4096) << size;
        EXPECT_EQ(given, size < 0 ? 4096 : size);
        EXPECT_EQ(buffer.Overrun(), "") << size;
        EXPECT_EQ(buffer.Length(), length) << size;
    }
}

TEST(TypedAccess, RegistryHoldsTheDriversTableInIdOrder) {
    const auto& all = kiln::AttributeRegistry::Instance().All();
    ASSERT_FALSE(all.empty());
    for (size_t i = 1; i < all.size(); ++i) EXPECT_LT(all[i - 1].id, all[i].id);
    for (const auto& descriptor : all) {
        EXPECT_EQ(kiln::AttributeRegistry::Instance().Find(descriptor.id), &descriptor);
        EXPECT_EQ(descriptor.name.rfind("QMDC_ATTR_", 0), 0u) << descriptor.name;
    }
}

// The header's QMDC_ATTR_ macros and the driver's table are the same set.
TEST(TypedAccess, TheHeaderDeclaresEveryAttributeOfTheTable) {
    std::ifstream header(QMDC_PUBLIC_HEADER);
    ASSERT_TRUE(header.good());
    std::map<std::string, ViAttr> declared;
    for (std::string line; std::getline(header, line);) {
        std::istringstream words(line);
        std::string define, name, value;
        words >> define >> name >> value;
        if (define != "#define" || name.rfind("QMDC_ATTR_", 0) != 0) continue;
        declared[name] = static_cast<ViAttr>(std::stoul(value.substr(1)));  // "(1050002L)"
    }
    std::map<std::string, ViAttr> registered;
    for (const auto& descriptor : kiln::AttributeRegistry::Instance().All()) {
        registered[descriptor.name] = descriptor.id;
    }
    EXPECT_EQ(declared, registered);
    EXPECT_EQ(registered.size(), 65u);
}

}  // namespace
