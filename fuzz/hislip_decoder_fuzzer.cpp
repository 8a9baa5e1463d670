// The HiSLIP message decoder, as both ends of a connection run it: the input
// gives the payload limit, how the stream is cut into receives, and the
// stream. Checks what sanitizers cannot see: every message holds what its
// header announced and never more than the limit; nothing is kept of a
// payload the limit refuses; a stream once broken stays broken; every byte
// fed is either handed out or still buffered.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "hislip_codec.h"

using qmdc::hislip::Decoder;
using qmdc::hislip::kHeaderSize;
using qmdc::hislip::Message;

namespace {

void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const uint64_t limit = input.ConsumeIntegralInRange<uint64_t>(0, 1 << 16);
    Decoder decoder(limit);
    size_t fed = 0, handedOut = 0;
    Decoder::Result broken = Decoder::Result::NeedMore;
    while (input.remaining_bytes() > 0) {
        const size_t step = input.ConsumeIntegralInRange<size_t>(1, 64);
        const std::string bytes = input.ConsumeBytesAsString(step);
        decoder.feed(bytes.data(), bytes.size());
        if (broken == Decoder::Result::NeedMore) fed += bytes.size();
        for (;;) {
            Message m;
            const Decoder::Result result = decoder.next(&m);
            if (broken != Decoder::Result::NeedMore) {
                Check(result == broken, "a broken stream stays broken");
                break;
            }
            if (result == Decoder::Result::NeedMore) break;
            if (result != Decoder::Result::Message) {
                broken = result;
                continue;
            }
            Check(m.payload.size() == m.header.length, "payload as announced");
            Check(m.header.length <= limit, "payload within the limit");
            handedOut += kHeaderSize + m.payload.size();
            // What the codec writes it reads back the same.
            std::string again;
            qmdc::hislip::appendMessage(again, m.type(), m.header.control, m.header.parameter,
                                        m.payload.data(), m.payload.size());
            Decoder echo(limit);
            echo.feed(again.data(), again.size());
            Message back;
            Check(echo.next(&back) == Decoder::Result::Message && back.payload == m.payload &&
                      back.header.parameter == m.header.parameter &&
                      back.header.type == m.header.type && back.header.control == m.header.control,
                  "encode and decode agree");
        }
        Check(handedOut + decoder.buffered() == fed, "every byte handed out or buffered");
        Check(decoder.buffered() <= kHeaderSize + limit + 64, "no more than one message buffered");
    }
    return 0;
}
