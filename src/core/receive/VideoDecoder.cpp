#include "receive/VideoDecoder.h"

#include "Messages.h"
#include "receive/SequenceParameterSet.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/hwcontext.h>
}

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace vistrel {

namespace {

constexpr int nalSlice = 1;
constexpr int nalIDRSlice = 5;
constexpr int nalSPS = 7;
constexpr int nalPPS = 8;
// Larger pictures are refused: one would take gigabytes before decoding fails.
constexpr int largestPictureSide = 8192;

// Hands libavcodec the VAAPI surface format when it offers one; otherwise
// the first software format. When VAAPI set-up fails libavcodec asks again
// without it, so this is also the software fallback.
AVPixelFormat chooseFormat(AVCodecContext* /*context*/, const AVPixelFormat* offered) {
    for (const AVPixelFormat* format = offered; *format != AV_PIX_FMT_NONE; ++format) {
        if (*format == AV_PIX_FMT_VAAPI) {
            return *format;
        }
    }
    return offered[0];
}

// The decoder configuration record (avcC) for one SPS and one PPS, with
// 4-byte NAL length fields.
std::vector<std::uint8_t> decoderConfiguration(const std::vector<std::uint8_t>& sps,
                                               const std::vector<std::uint8_t>& pps) {
    std::vector<std::uint8_t> record;
    record.reserve(11 + sps.size() + pps.size());
    record.push_back(1);      // configurationVersion
    record.push_back(sps[1]); // profile
    record.push_back(sps[2]); // compatibility
    record.push_back(sps[3]); // level
    record.push_back(0xFF);   // 6 reserved bits, lengthSizeMinusOne = 3
    record.push_back(0xE1);   // 3 reserved bits, one SPS
    record.push_back(static_cast<std::uint8_t>(sps.size() >> 8));
    record.push_back(static_cast<std::uint8_t>(sps.size()));
    record.insert(record.end(), sps.begin(), sps.end());
    record.push_back(1); // one PPS
    record.push_back(static_cast<std::uint8_t>(pps.size() >> 8));
    record.push_back(static_cast<std::uint8_t>(pps.size()));
    record.insert(record.end(), pps.begin(), pps.end());
    return record;
}

bool storeIfChanged(std::vector<std::uint8_t>& stored, AnnexB::Unit unit) {
    if (std::ranges::equal(stored, unit)) {
        return false;
    }
    stored.assign(unit.begin(), unit.end());
    return true;
}

} // namespace

void VideoDecoder::ContextDeleter::operator()(AVCodecContext* context) const noexcept {
    avcodec_free_context(&context);
}
void VideoDecoder::FrameDeleter::operator()(AVFrame* frame) const noexcept {
    av_frame_free(&frame);
}
void VideoDecoder::PacketDeleter::operator()(AVPacket* packet) const noexcept {
    av_packet_free(&packet);
}
void VideoDecoder::BufferDeleter::operator()(AVBufferRef* buffer) const noexcept {
    av_buffer_unref(&buffer);
}

VideoDecoder::VideoDecoder(Acceleration acceleration)
    : acceleration_(acceleration), packet_(av_packet_alloc()), frame_(av_frame_alloc()),
      systemFrame_(av_frame_alloc()) {
    if (!packet_ || !frame_ || !systemFrame_) {
        throw std::bad_alloc();
    }
}

VideoDecoder::~VideoDecoder() = default;

void VideoDecoder::report(const std::string& message) const {
    if (onError_) {
        onError_(message);
    }
}

void VideoDecoder::decode(std::span<const std::uint8_t> accessUnit, bool damaged) {
    AnnexB::units(accessUnit, units_);
    slices_.clear();
    bool hasIDR = false;
    bool changed = false;
    for (const AnnexB::Unit unit : units_) {
        if (unit.empty()) {
            continue;
        }
        switch (unit[0] & 0x1F) {
        case nalSlice:
            slices_.push_back(unit);
            break;
        case nalIDRSlice:
            slices_.push_back(unit);
            hasIDR = true;
            break;
        // A damaged unit's parameter sets may be cut or spliced: taken as
        // new, they would rebuild the decoder or refuse the stream. The
        // sender repeats them with every keyframe.
        case nalSPS:
            changed = (!damaged && storeIfChanged(sps_, unit)) || changed;
            break;
        case nalPPS:
            changed = (!damaged && storeIfChanged(pps_, unit)) || changed;
            break;
        default:
            break; // delimiters, SEI, partitions: never submitted
        }
    }
    if (changed) {
        rebuild();
    }
    if (!context_ || slices_.empty()) {
        return;
    }
    const bool holding = lossPolicy_.load(std::memory_order_relaxed) == LossPolicy::Hold;
    if (damaged && holding) {
        // The policy changed while this unit was collected.
        waitingForKeyframe_ = true;
        return;
    }
    if (waitingForKeyframe_) {
        if (!hasIDR) {
            return;
        }
        waitingForKeyframe_ = false;
    }
    submit(damaged);
}

void VideoDecoder::submit(bool damaged) {
    std::size_t size = 0;
    for (const AnnexB::Unit slice : slices_) {
        size += 4 + slice.size();
    }
    av_packet_unref(packet_.get());
    if (size > static_cast<std::size_t>(INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE) ||
        av_new_packet(packet_.get(), static_cast<int>(size)) < 0) {
        return; // this access unit is lost
    }
    std::uint8_t* out = packet_->data;
    for (const AnnexB::Unit slice : slices_) {
        const auto length = static_cast<std::uint32_t>(slice.size());
        out[0] = static_cast<std::uint8_t>(length >> 24);
        out[1] = static_cast<std::uint8_t>(length >> 16);
        out[2] = static_cast<std::uint8_t>(length >> 8);
        out[3] = static_cast<std::uint8_t>(length);
        std::memcpy(out + 4, slice.data(), slice.size());
        out += 4 + slice.size();
    }
    ++submitted_;
    if (avcodec_send_packet(context_.get(), packet_.get()) < 0 &&
        lossPolicy_.load(std::memory_order_relaxed) == LossPolicy::Hold) {
        waitingForKeyframe_ = true;
    }
    receiveFrames(damaged);
}

void VideoDecoder::receiveFrames(bool damaged) {
    while (avcodec_receive_frame(context_.get(), frame_.get()) == 0) {
        AVFrame* picture = frame_.get();
        if (picture->format == AV_PIX_FMT_VAAPI) {
            av_frame_unref(systemFrame_.get());
            if (av_hwframe_transfer_data(systemFrame_.get(), picture, 0) < 0 ||
                av_frame_copy_props(systemFrame_.get(), picture) < 0) {
                av_frame_unref(frame_.get());
                continue; // that picture is lost
            }
            picture = systemFrame_.get();
        }
        // Low delay without frame threads: what comes out now is this unit's
        // picture.
        if (damaged) {
            picture->flags |= AV_FRAME_FLAG_CORRUPT;
        }
        if (onFrame_) {
            const PixelBuffer buffer = PixelBuffer::referencing(picture);
            if (buffer) {
                onFrame_(buffer);
            }
        }
        av_frame_unref(frame_.get());
        av_frame_unref(systemFrame_.get());
    }
}

void VideoDecoder::openHardwareDevice() {
    if (triedHardware_ || acceleration_ != Acceleration::Automatic) {
        return;
    }
    triedHardware_ = true;
    AVBufferRef* device = nullptr;
    if (av_hwdevice_ctx_create(&device, AV_HWDEVICE_TYPE_VAAPI, nullptr, nullptr, 0) == 0) {
        hardwareDevice_.reset(device);
    }
}

void VideoDecoder::rebuild() {
    context_.reset();
    waitingForKeyframe_ = true;
    if (sps_.empty() || pps_.empty()) {
        return;
    }
    ++rebuilds_;
    // libavcodec shrugs off parameter sets it cannot read and then decodes
    // nothing, and it would hand on pictures in layouts nothing downstream
    // takes; both are refused here, and so are huge pictures. The record's
    // length fields are 16 bits.
    const auto parsed = SequenceParameterSet::parse(sps_);
    if (!parsed || !parsed->is8Bit420() || parsed->width > largestPictureSide ||
        parsed->height > largestPictureSide || sps_.size() > 0xFFFF || pps_.size() > 0xFFFF) {
        report(std::string(Messages::unsupportedFormat));
        return;
    }
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (codec == nullptr) {
        report(Messages::decoderStartFailed(AVERROR_DECODER_NOT_FOUND));
        return;
    }
    std::unique_ptr<AVCodecContext, ContextDeleter> context(avcodec_alloc_context3(codec));
    if (!context) {
        report(Messages::decoderStartFailed(AVERROR(ENOMEM)));
        return;
    }
    const std::vector<std::uint8_t> record = decoderConfiguration(sps_, pps_);
    context->extradata =
        static_cast<std::uint8_t*>(av_mallocz(record.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (context->extradata == nullptr) {
        report(Messages::decoderStartFailed(AVERROR(ENOMEM)));
        return;
    }
    std::memcpy(context->extradata, record.data(), record.size());
    context->extradata_size = static_cast<int>(record.size());
    context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    context->max_pixels = static_cast<std::int64_t>(largestPictureSide) * largestPictureSide;
    // Frame threads would hold back one picture per thread.
    context->thread_type = FF_THREAD_SLICE;
    context->thread_count = 0;

    openHardwareDevice();
    if (hardwareDevice_) {
        context->hw_device_ctx = av_buffer_ref(hardwareDevice_.get());
        context->get_format = chooseFormat;
    }

    // Strict while the parameter sets are read, so that ones the decoder
    // cannot use fail here, as unusable parameter sets, rather than
    // picture by picture; tolerant again for the pictures themselves.
    const int tolerance = context->err_recognition;
    context->err_recognition |= AV_EF_EXPLODE;
    const int status = avcodec_open2(context.get(), codec, nullptr);
    context->err_recognition = tolerance;
    if (status == AVERROR_INVALIDDATA || status == AVERROR_PATCHWELCOME) {
        report(std::string(Messages::unsupportedFormat));
        return;
    }
    if (status < 0) {
        report(Messages::decoderStartFailed(status));
        return;
    }
    context_ = std::move(context);
}

} // namespace vistrel
