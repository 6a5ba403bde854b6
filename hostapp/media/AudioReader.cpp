#include "media/AudioReader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "media/ClipReader.h"
#include "media/MediaError.h"

namespace {

// Seconds from the start of the stream's time to `pts`.
double Seconds(int64_t pts, AVRational base) { return pts == AV_NOPTS_VALUE ? 0 : pts * av_q2d(base); }

}  // namespace

struct AudioReader::Impl {
  AVFormatContext* format = nullptr;
  AVCodecContext* audio = nullptr;
  SwrContext* resampler = nullptr;
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  int stream = -1;
  double videoStart = 0;  // seconds: the first video frame's time
  bool placed = false;    // whether the first decoded samples have been placed on the video's timeline
  bool ended = false;
  // Decoded samples not yet handed out; the first is sample `held` on the video's timeline.
  std::vector<float> pending;
  int64_t held = 0;

  ~Impl() {
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&audio);
    swr_free(&resampler);
    avformat_close_input(&format);
  }

  // Appends what the resampler gives for `in` (nil to drain it).
  void Convert(const uint8_t** in, int count) {
    const int room = swr_get_out_samples(resampler, count);
    if (room <= 0) return;
    const size_t at = pending.size();
    pending.resize(at + size_t(room) * kAudioChannels);
    uint8_t* out = reinterpret_cast<uint8_t*>(pending.data() + at);
    const int made = swr_convert(resampler, &out, room, in, count);
    pending.resize(at + size_t(std::max(made, 0)) * kAudioChannels);
  }

  // Decodes one more stretch into `pending`; false at the end.
  bool DecodeMore(std::string& error) {
    while (!ended) {
      const int got = avcodec_receive_frame(audio, frame);
      if (got == 0) {
        if (!placed) {
          // The audio's first sample, where it falls on the video's timeline.
          const int64_t pts = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
          const double at = Seconds(pts, format->streams[stream]->time_base) - videoStart;
          held = std::llround(at * kAudioRate);
          placed = true;
        }
        Convert(const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
        av_frame_unref(frame);
        return true;
      }
      if (got == AVERROR_EOF) {
        Convert(nullptr, 0);
        ended = true;
        return true;
      }
      if (got != AVERROR(EAGAIN)) {
        error = "cannot decode the clip's audio: " + AvError(got);
        return false;
      }
      int read;
      while ((read = av_read_frame(format, packet)) >= 0 && packet->stream_index != stream) av_packet_unref(packet);
      if (read < 0) {
        avcodec_send_packet(audio, nullptr);  // drain what the decoder holds
      } else {
        avcodec_send_packet(audio, packet);
        av_packet_unref(packet);
      }
    }
    return false;
  }
};

AudioReader::AudioReader(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
AudioReader::~AudioReader() = default;

std::unique_ptr<AudioReader> AudioReader::Open(const std::string& path, std::string& error) {
  auto d = std::make_unique<Impl>();
  int err = avformat_open_input(&d->format, path.c_str(), nullptr, nullptr);
  if (err < 0 || (err = avformat_find_stream_info(d->format, nullptr)) < 0) {
    error = path + ": " + AvError(err);
    return nullptr;
  }
  const int video = av_find_best_stream(d->format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const AVCodec* codec = nullptr;
  d->stream = av_find_best_stream(d->format, AVMEDIA_TYPE_AUDIO, -1, video, &codec, 0);
  if (d->stream < 0 || codec == nullptr) return nullptr;  // no audio: no error
  if (video >= 0) d->videoStart = Seconds(d->format->streams[video]->start_time, d->format->streams[video]->time_base);
  d->audio = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(d->audio, d->format->streams[d->stream]->codecpar);
  d->audio->thread_count = 1;
  if ((err = avcodec_open2(d->audio, codec, nullptr)) < 0) {
    error = path + ": cannot decode its audio: " + AvError(err);
    return nullptr;
  }
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  if (swr_alloc_set_opts2(&d->resampler, &stereo, AV_SAMPLE_FMT_FLT, kAudioRate, &d->audio->ch_layout,
                          d->audio->sample_fmt, d->audio->sample_rate, 0, nullptr) < 0 ||
      swr_init(d->resampler) < 0) {
    error = path + ": cannot convert its audio";
    return nullptr;
  }
  // The other streams' packets are not wanted here.
  for (unsigned k = 0; k < d->format->nb_streams; ++k)
    if (int(k) != d->stream) d->format->streams[k]->discard = AVDISCARD_ALL;
  return std::unique_ptr<AudioReader>(new AudioReader(std::move(d)));
}

bool AudioReader::Read(int64_t first, int count, float* out, std::string& error) {
  Impl& d = *impl_;
  std::fill(out, out + size_t(count) * kAudioChannels, 0.0f);
  const int64_t end = first + count;
  while (!d.ended && (!d.placed || d.held + int64_t(d.pending.size() / kAudioChannels) < end))
    if (!d.DecodeMore(error) && !error.empty()) return false;
  // What is held and wanted is copied; what lies before `first` is let go.
  const int64_t heldEnd = d.held + int64_t(d.pending.size() / kAudioChannels);
  const int64_t from = std::max(first, d.held), to = std::min(end, heldEnd);
  if (from < to)
    std::memcpy(out + (from - first) * kAudioChannels, d.pending.data() + (from - d.held) * kAudioChannels,
                size_t(to - from) * kAudioChannels * sizeof(float));
  const int64_t drop = std::clamp<int64_t>(end - d.held, 0, heldEnd - d.held);
  d.pending.erase(d.pending.begin(), d.pending.begin() + drop * kAudioChannels);
  d.held += drop;
  return true;
}
