#include "app/faults.h"

namespace qmdc::emu {

namespace {

// Control and high bytes, no separator or terminator, so it arrives as one bad answer.
const std::string kGarbage = "\x15\xff#?%garbage\x01\x80\x7f";

bool ResolveQueries(const std::vector<std::string>& headers, const Engine& engine,
                    std::set<CommandId>& out, std::string& error) {
    for (const std::string& header : headers) {
        const auto id = engine.Resolve(header);
        if (!id || !id->query) {
            error = "not a query of this instrument: " + header;
            return false;
        }
        out.insert(*id);
    }
    return true;
}

}  // namespace

bool FaultPlan::Configure(const FaultOptions& options, Engine& engine, std::string& error) {
    delayMs_ = options.delayMs;
    dropAfter_ = options.dropAfter;
    split_ = options.split;
    stallAfter_ = options.stallAfter;
    lineEnding_ = options.lineEnding;
    badRecord_ = options.badRecord;
    if (!badRecord_.empty() && badRecord_ != "huge" && badRecord_ != "junk") {
        error = "--bad-record takes huge or junk, not " + badRecord_;
        return false;
    }
    if (!ResolveQueries(options.noReply, engine, noReply_, error) ||
        !ResolveQueries(options.garbage, engine, garbage_, error) ||
        !ResolveQueries(options.oversize, engine, oversize_, error))
        return false;
    for (const auto& [header, bits] : options.esrAfter) {
        const auto id = engine.Resolve(header);
        if (!id) {
            error = "not a header of this instrument: " + header;
            return false;
        }
        engine.InjectEsrAfter(*id, bits);
    }
    engine.instrument().status().esrStuckBits = options.esrStuckBits;
    return true;
}

std::string FaultPlan::Reply(const std::vector<Response>& responses) const {
    std::vector<std::string> texts;
    for (const Response& response : responses) {
        if (noReply_.count(response.id) != 0) continue;
        if (garbage_.count(response.id) != 0) {
            texts.push_back(kGarbage);
        } else if (oversize_.count(response.id) != 0) {
            std::string line(kOversizeLength, '0');
            for (size_t i = 0; i < line.size(); ++i) line[i] = static_cast<char>('0' + i % 10);
            texts.push_back(std::move(line));
        } else {
            texts.push_back(response.text);
        }
    }
    if (texts.empty()) return std::string();
    std::string reply = JoinResponses(texts);
    reply.replace(reply.size() - 1, 1, lineEnding_);  // in place of its linefeed
    return reply;
}

}  // namespace qmdc::emu
