// A decoder that has shown the first keyframe of a real headset stream is
// given one more access unit, whole while holding and damaged while keeping
// the picture moving: pictures stay within the size cap and the only
// messages, for whole units alone, are the decoder's own sentences.
#include "FuzzSupport.h"
#include "HeadsetStream.h"
#include "Messages.h"
#include "receive/VideoDecoder.h"

extern "C" {
#include <libavutil/log.h>
}

using vistrel::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const vistrel::test::Bytes keyframe = [] {
        av_log_set_level(AV_LOG_QUIET);
        return vistrel::test::testStream("320x240").units.at(0);
    }();
    const std::string startFailed = vistrel::Messages::decoderStartFailed(0);
    for (const auto policy : {vistrel::LossPolicy::Hold, vistrel::LossPolicy::KeepMoving}) {
        const bool damaged = policy == vistrel::LossPolicy::KeepMoving;
        vistrel::VideoDecoder decoder(vistrel::VideoDecoder::Acceleration::Software);
        decoder.setLossPolicy(policy);
        int pictures = 0;
        decoder.setOnFrame([&](const vistrel::PixelBuffer& picture) {
            require(picture.width() > 0 && picture.width() <= 8192 && picture.height() > 0 &&
                        picture.height() <= 8192,
                    "picture size out of bounds");
            ++pictures;
        });
        decoder.setOnError([&](const std::string& message) {
            require(!damaged &&
                        (message == vistrel::Messages::unsupportedFormat ||
                         message.starts_with(startFailed.substr(0, startFailed.size() - 3))),
                    "a message that is not the decoder's, or for a damaged unit");
        });
        decoder.decode(keyframe);
        require(pictures == 1, "the keyframe did not decode");
        decoder.decode(std::span<const std::uint8_t>(data, size), damaged);
    }
    return 0;
}
