#include "media/ClipReader.h"

#include <algorithm>
#include <climits>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstring>

#include "media/Colour.h"
#include "media/MediaError.h"
#include "media/ShownColour.h"
#include "media/Upright.h"

namespace {

// Decoding far ahead is slower than seeking; backwards always seeks.
constexpr int64_t kSeekAhead = 48;

}  // namespace

struct ClipReader::Impl {
  AVFormatContext* format = nullptr;
  AVCodecContext* video = nullptr;
  int videoStream = -1;
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  SwsContext* scaler = nullptr;
  int64_t current = -1;  // the frame number `frame` holds
  // `frame` as a player shows it, when the clip says to turn its frames.
  Orientation orientation;
  AVFrame* upright = av_frame_alloc();
  bool uprightIsCurrent = false;
  SwsContext* turner = nullptr;
  // The chroma planes of an 8-bit Y'CbCr frame brought to every pixel (planes 1 and 2).
  AVFrame* full = av_frame_alloc();
  SwsContext* upsampler = nullptr;
  int64_t startPts = 0;
  AVRational rate{25, 1};
  // Every frame's time in presentation order, and when the last one ends;
  // empty when the packets do not all say their time.
  std::vector<int64_t> framePts;
  int64_t endPts = 0;

  ~Impl() {
    av_frame_free(&frame);
    av_frame_free(&upright);
    sws_freeContext(turner);
    av_frame_free(&full);
    sws_freeContext(upsampler);
    av_packet_free(&packet);
    avcodec_free_context(&video);
    avformat_close_input(&format);
    sws_freeContext(scaler);
  }

  bool ShowAtItsSize(const AVFrame* f, uint8_t* argb, int rowBytes);

  int64_t FrameNumberOf(int64_t pts) const {
    if (!framePts.empty()) return std::lower_bound(framePts.begin(), framePts.end(), pts) - framePts.begin();
    const AVRational tb = format->streams[videoStream]->time_base;
    return llround(double(pts - startPts) * av_q2d(tb) * av_q2d(rate));
  }

  // Decodes the next video frame into `frame`; false at the end.
  bool DecodeNext() {
    for (;;) {
      int got = avcodec_receive_frame(video, frame);
      if (got == 0) {
        uprightIsCurrent = false;
        const int64_t pts = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
        current = pts == AV_NOPTS_VALUE ? current + 1 : FrameNumberOf(pts);
        return true;
      }
      if (got == AVERROR_EOF) return false;
      if (got != AVERROR(EAGAIN)) return false;
      int read;
      while ((read = av_read_frame(format, packet)) >= 0 && packet->stream_index != videoStream) av_packet_unref(packet);
      if (read < 0) {
        avcodec_send_packet(video, nullptr);  // drain what the decoder holds
      } else {
        avcodec_send_packet(video, packet);
        av_packet_unref(packet);
      }
    }
  }

  // The frames' times in order and when the last one ends; whether they
  // differ from frame to frame by more than the time base's rounding.
  void IndexTimes(ClipInfo& info, int64_t lastDuration) {
    std::sort(framePts.begin(), framePts.end());
    if (framePts.size() < 2) {
      endPts = framePts.empty() ? 0 : framePts.back() + std::max<int64_t>(lastDuration, 1);
      return;
    }
    int64_t shortest = INT64_MAX, longest = 0;
    for (size_t k = 1; k < framePts.size(); ++k) {
      shortest = std::min(shortest, framePts[k] - framePts[k - 1]);
      longest = std::max(longest, framePts[k] - framePts[k - 1]);
    }
    info.variableRate = longest - shortest > std::max<int64_t>(1, shortest / 20);
    endPts = framePts.back() + (lastDuration > 0 ? lastDuration : framePts.back() - framePts[framePts.size() - 2]);
  }

  // How a player turns the frames, from the video stream's display matrix.
  void TakeOrientation(ClipInfo& info) {
    AVStream* vs = format->streams[videoStream];
    size_t size = 0;
    const uint8_t* matrix = av_stream_get_side_data(vs, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (matrix == nullptr || size < 9 * sizeof(int32_t)) return;
    int32_t m[9];
    std::memcpy(m, matrix, sizeof m);
    if (!OrientationOf(m, orientation)) {
      const double degrees = -av_display_rotation_get(m);
      info.turnNotApplied = std::isfinite(degrees) && degrees != 0 ? degrees : 360;
      return;
    }
    info.turnedDegrees = orientation.ClockwiseDegrees();
    info.mirrored = orientation.Mirrored();
    if (orientation.SwapsAxes()) std::swap(info.width, info.height);
  }

  bool SeekTo(int64_t n) {
    const AVRational tb = format->streams[videoStream]->time_base;
    const int64_t target =
        n < int64_t(framePts.size()) ? framePts[size_t(n)] : startPts + av_rescale_q(n, av_inv_q(rate), tb);
    if (av_seek_frame(format, videoStream, target, AVSEEK_FLAG_BACKWARD) < 0) return false;
    avcodec_flush_buffers(video);
    current = -1;
    return true;
  }
};

namespace {

std::string StreamWords(const AVStream* s) {
  const AVCodecParameters* p = s->codecpar;
  const char* kind = av_get_media_type_string(p->codec_type);
  std::string words = std::string(kind ? kind : "data") + ", " + avcodec_get_name(p->codec_id);
  if (p->codec_type == AVMEDIA_TYPE_VIDEO) words += ", " + std::to_string(p->width) + " x " + std::to_string(p->height);
  if (p->codec_type == AVMEDIA_TYPE_AUDIO)
    words += ", " + std::to_string(p->ch_layout.nb_channels) + (p->ch_layout.nb_channels == 1 ? " channel, " : " channels, ") +
             std::to_string(p->sample_rate) + " Hz";
  if (const AVDictionaryEntry* e = av_dict_get(s->metadata, "language", nullptr, 0)) words += std::string(", ") + e->value;
  if (const AVDictionaryEntry* e = av_dict_get(s->metadata, "title", nullptr, 0))
    words += std::string(", \"") + e->value + "\"";
  return words;
}

// The container's streams, chapters and description.
void DescribeContainer(const AVFormatContext* format, ClipInfo& info) {
  for (unsigned k = 0; k < format->nb_streams; ++k) info.streams.push_back(StreamWords(format->streams[k]));
  info.chapters = int(format->nb_chapters);
  const AVDictionaryEntry* e = nullptr;
  while ((e = av_dict_get(format->metadata, "", e, AV_DICT_IGNORE_SUFFIX))) info.tags.emplace_back(e->key, e->value);
}

}  // namespace

ClipReader::ClipReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

int64_t ClipReader::FrameStart(int64_t n) const {
  const Impl& d = *impl_;
  const int64_t first = d.framePts.empty() ? d.startPts : d.framePts.front();
  if (n >= 0 && n < int64_t(d.framePts.size())) return d.framePts[size_t(n)] - first;
  if (n == int64_t(d.framePts.size()) && !d.framePts.empty()) return d.endPts - first;
  const AVRational tb = d.format->streams[d.videoStream]->time_base;
  return av_rescale_q(n, av_inv_q(d.rate), tb);
}
ClipReader::~ClipReader() = default;

std::string TurnWords(const ClipInfo& info) {
  if (info.turnedDegrees == 0 && !info.mirrored) return "";
  return std::string(info.mirrored ? "mirrored and " : "") + "turned " + std::to_string(info.turnedDegrees) +
         " degrees clockwise";
}

void QuietMediaLibraries() { av_log_set_level(AV_LOG_ERROR); }

std::unique_ptr<ClipReader> ClipReader::Open(const std::string& path, std::string& error) {
  auto impl = std::make_unique<Impl>();
  int err = avformat_open_input(&impl->format, path.c_str(), nullptr, nullptr);
  if (err < 0) {
    error = path + ": " + AvError(err);
    return nullptr;
  }
  if ((err = avformat_find_stream_info(impl->format, nullptr)) < 0) {
    error = path + ": " + AvError(err);
    return nullptr;
  }
  const AVCodec* videoCodec = nullptr;
  impl->videoStream = av_find_best_stream(impl->format, AVMEDIA_TYPE_VIDEO, -1, -1, &videoCodec, 0);
  if (impl->videoStream < 0 || videoCodec == nullptr) {
    error = path + ": no video stream that can be decoded";
    return nullptr;
  }
  AVStream* vs = impl->format->streams[impl->videoStream];
  impl->video = avcodec_alloc_context3(videoCodec);
  avcodec_parameters_to_context(impl->video, vs->codecpar);
  impl->video->thread_count = 1;
  if ((err = avcodec_open2(impl->video, videoCodec, nullptr)) < 0) {
    error = path + ": " + AvError(err);
    return nullptr;
  }
  // The stream's base rate numbers its frames; the average is skewed by a
  // last frame without a duration and is only the fallback.
  impl->rate = vs->r_frame_rate.num > 0 && vs->r_frame_rate.den > 0 ? vs->r_frame_rate : vs->avg_frame_rate;
  if (impl->rate.num <= 0 || impl->rate.den <= 0) impl->rate = {25, 1};
  impl->startPts = vs->start_time != AV_NOPTS_VALUE ? vs->start_time : 0;

  const AVCodec* audioCodec = nullptr;
  const int audioStream = av_find_best_stream(impl->format, AVMEDIA_TYPE_AUDIO, -1, impl->videoStream, &audioCodec, 0);

  ClipInfo info;
  info.storedWidth = info.width = impl->video->width;
  info.storedHeight = info.height = impl->video->height;
  impl->TakeOrientation(info);
  info.fpsNum = impl->rate.num;
  info.fpsDen = impl->rate.den;
  info.hasAudio = audioStream >= 0 && audioCodec != nullptr;
  info.videoStream = impl->videoStream;
  info.audioStream = info.hasAudio ? audioStream : -1;
  DescribeContainer(impl->format, info);
  info.pixelFormat = impl->orientation.Turned() ? TurnableFormat(impl->video->pix_fmt, impl->orientation)
                                                : impl->video->pix_fmt;
  info.primaries = vs->codecpar->color_primaries;
  info.transfer = vs->codecpar->color_trc;
  info.matrix = vs->codecpar->color_space;
  info.range = vs->codecpar->color_range;
  // Count the frames exactly: one packet per frame, read without decoding;
  // their times, put in presentation order, say when each frame is.
  int64_t packets = 0, lastDuration = 0, latest = INT64_MIN;
  bool timed = true;
  while (av_read_frame(impl->format, impl->packet) >= 0) {
    // A packet the container drops (an edit list's) is no frame of the clip.
    if (impl->packet->stream_index == impl->videoStream && !(impl->packet->flags & AV_PKT_FLAG_DISCARD)) {
      ++packets;
      timed = timed && impl->packet->pts != AV_NOPTS_VALUE;
      if (timed) impl->framePts.push_back(impl->packet->pts);
      if (timed && impl->packet->pts > latest) latest = impl->packet->pts, lastDuration = impl->packet->duration;
    }
    av_packet_unref(impl->packet);
  }
  info.frameCount = packets;
  info.timeBaseNum = vs->time_base.num;
  info.timeBaseDen = vs->time_base.den;
  if (!timed) impl->framePts.clear();
  impl->IndexTimes(info, lastDuration);
  if (info.width <= 0 || info.height <= 0 || packets == 0) {
    error = path + ": the video stream holds no frames";
    return nullptr;
  }
  if (!impl->SeekTo(0)) {
    error = path + ": cannot return to the first frame";
    return nullptr;
  }
  auto reader = std::unique_ptr<ClipReader>(new ClipReader(std::move(impl)));
  reader->info_ = info;
  reader->info_.seconds = double(reader->FrameStart(info.frameCount)) * info.timeBaseNum / info.timeBaseDen;
  return reader;
}

const AVFrame* ClipReader::DecodedFrame(int64_t n) {
  Impl& d = *impl_;
  if (n < 0 || n >= info_.frameCount) return nullptr;
  if (d.current != n) {
    if (d.current < 0 || n < d.current || n > d.current + kSeekAhead) {
      if (!d.SeekTo(n)) return nullptr;
    }
    // Decode forward to the frame; a clip whose numbering has a gap gives
    // the first frame at or after the one asked for.
    bool have = false;
    while (d.DecodeNext()) {
      have = true;
      if (d.current >= n) break;
    }
    if (!have) return nullptr;
  }
  if (!d.orientation.Turned()) return d.frame;
  if (!d.uprightIsCurrent && !TurnUpright(d.frame, d.orientation, d.upright, d.turner)) return nullptr;
  d.uprightIsCurrent = true;
  return d.upright;
}

// A frame at its own size in 8-bit planar Y'CbCr: the scaler brings its
// chroma to every pixel (bicubic, as in its own conversion), then the
// colours are converted by our exact formula. The scaler's accurate
// conversion to A,R,G,B does the same arithmetic in plain C, at several
// times the cost of the two steps together.
bool ClipReader::Impl::ShowAtItsSize(const AVFrame* f, uint8_t* argb, int rowBytes) {
  const AVPixelFormat from = PlainFormat(AVPixelFormat(f->format));
  YCbCrPlanes planes{{f->data[0], f->data[1], f->data[2]}, {f->linesize[0], f->linesize[1], f->linesize[2]}};
  if (from != AV_PIX_FMT_YUV444P) {
    if (full->width != f->width || full->height != f->height) {
      av_frame_unref(full);
      full->format = AV_PIX_FMT_YUV444P;
      full->width = f->width;
      full->height = f->height;
      if (av_frame_get_buffer(full, 0) < 0) return false;
    }
    // Each chroma plane scaled up alone as a grey picture: the same filter
    // the scaler uses for chroma sited in the middle of its pixels, without
    // passing the luma through it.
    const AVPixFmtDescriptor* layout = av_pix_fmt_desc_get(from);
    const int chromaWidth = AV_CEIL_RSHIFT(f->width, layout->log2_chroma_w);
    const int chromaHeight = AV_CEIL_RSHIFT(f->height, layout->log2_chroma_h);
    upsampler = sws_getCachedContext(upsampler, chromaWidth, chromaHeight, AV_PIX_FMT_GRAY8, f->width, f->height,
                                     AV_PIX_FMT_GRAY8, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (upsampler == nullptr) return false;
    if (!ScaleChromaPlanes(upsampler, f, chromaHeight, full, f->height)) return false;
    planes.plane[1] = full->data[1];
    planes.plane[2] = full->data[2];
    planes.pitch[1] = full->linesize[1];
    planes.pitch[2] = full->linesize[2];
  }
  const int* coefficients = sws_getCoefficients(SwsMatrix(f->colorspace, f->height));
  YCbCrToArgb(planes, f->width, f->height, MatrixFrom(coefficients, f->color_range == AVCOL_RANGE_JPEG), argb,
              rowBytes);
  return true;
}

bool ClipReader::ReadFrame(int64_t n, int width, int height, bool highQuality, uint8_t* argb, int rowBytes) {
  Impl& d = *impl_;
  if (width <= 0 || height <= 0) return false;
  const AVFrame* frame = DecodedFrame(n);
  if (frame == nullptr) return false;
  if (highQuality && width == frame->width && height == frame->height && IsPlanarYCbCr8(AVPixelFormat(frame->format)))
    return d.ShowAtItsSize(frame, argb, rowBytes);
  const int flags = highQuality ? SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT : SWS_FAST_BILINEAR;
  d.scaler = sws_getCachedContext(d.scaler, frame->width, frame->height, AVPixelFormat(frame->format), width, height,
                                  AV_PIX_FMT_ARGB, flags, nullptr, nullptr, nullptr);
  if (d.scaler == nullptr) return false;
  // The clip's own matrix and range.
  const int* coefficients = sws_getCoefficients(SwsMatrix(frame->colorspace, frame->height));
  sws_setColorspaceDetails(d.scaler, coefficients, frame->color_range == AVCOL_RANGE_JPEG, coefficients, 1, 0, 1 << 16,
                           1 << 16);
  uint8_t* dst[4] = {argb, nullptr, nullptr, nullptr};
  int dstStride[4] = {rowBytes, 0, 0, 0};
  return sws_scale(d.scaler, frame->data, frame->linesize, 0, frame->height, dst, dstStride) == height;
}
