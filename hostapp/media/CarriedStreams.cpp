#include "media/CarriedStreams.h"

#include <cmath>
#include <limits>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/avstring.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include "media/ClipReader.h"
#include "media/MediaError.h"

namespace {

// The description's fields a muxer writes for itself.
bool TheContainersOwn(const char* key) {
  for (const char* own : {"encoder", "major_brand", "minor_version", "compatible_brands", "duration", "rotate"})
    if (av_strcasecmp(key, own) == 0) return true;
  return false;
}

void CopyDescription(AVDictionary* from, AVDictionary** to) {
  const AVDictionaryEntry* e = nullptr;
  while ((e = av_dict_get(from, "", e, AV_DICT_IGNORE_SUFFIX)))
    if (!TheContainersOwn(e->key) && av_strncasecmp(e->key, "_STATISTICS", 11) != 0) av_dict_set(to, e->key, e->value, 0);
}

std::string KindOf(const AVCodecParameters* p) {
  switch (p->codec_type) {
    case AVMEDIA_TYPE_AUDIO: return "audio";
    case AVMEDIA_TYPE_VIDEO: return "video";
    case AVMEDIA_TYPE_SUBTITLE: return "subtitles";
    case AVMEDIA_TYPE_ATTACHMENT: return "an attachment";
    default: return "data";
  }
}

}  // namespace

// One stream carried over: copied packet for packet, or decoded and
// encoded anew when the container does not take it as it is.
struct Carried {
  AVStream* in = nullptr;
  AVStream* out = nullptr;
  int64_t offset = 0;  // the first video frame's time, in the stream's time base
  AVCodecContext* decoder = nullptr;
  AVCodecContext* encoder = nullptr;
  SwrContext* resampler = nullptr;
  AVAudioFifo* fifo = nullptr;
  AVFrame* frame = av_frame_alloc();
  int64_t nextSample = -1;  // the encoded stream's next sample, from the first video frame

  ~Carried() {
    avcodec_free_context(&decoder);
    avcodec_free_context(&encoder);
    swr_free(&resampler);
    if (fifo) av_audio_fifo_free(fifo);
    av_frame_free(&frame);
  }
};

struct CarriedStreams::Impl {
  AVFormatContext* input = nullptr;
  AVFormatContext* output = nullptr;
  AVPacket* packet = av_packet_alloc();
  bool pending = false, ended = false;
  double videoStart = 0;
  int video = -1, audio = -1;
  std::vector<std::unique_ptr<Carried>> streams;  // by the clip's stream index; nil for those not carried

  ~Impl() {
    av_packet_free(&packet);
    streams.clear();
    avformat_close_input(&input);
  }

  bool Write(AVPacket* p, AVCodecContext* codec, Carried& c, std::string& error) {
    av_packet_rescale_ts(p, codec ? codec->time_base : c.in->time_base, c.out->time_base);
    p->stream_index = c.out->index;
    const int err = av_interleaved_write_frame(output, p);
    if (err < 0) error = "cannot write a carried stream: " + AvError(err);
    return err >= 0;
  }

  bool AddChapters(std::string& error);
  bool AddCopy(AVStream* in, Carried& c);
  bool AddEncoded(AVStream* in, AVCodecID codecId, Carried& c, std::string& error);
  bool Encode(Carried& c, bool flush, std::string& error);
  bool Decode(Carried& c, const AVPacket* p, std::string& error);
  bool Pass(std::string& error);
};

bool CarriedStreams::Impl::AddCopy(AVStream* in, Carried& c) {
  c.out = avformat_new_stream(output, nullptr);
  if (c.out == nullptr || avcodec_parameters_copy(c.out->codecpar, in->codecpar) < 0) return false;
  c.out->codecpar->codec_tag = 0;
  c.out->time_base = in->time_base;
  c.out->disposition = in->disposition;
  CopyDescription(in->metadata, &c.out->metadata);
  return true;
}

bool CarriedStreams::Impl::AddEncoded(AVStream* in, AVCodecID codecId, Carried& c, std::string& error) {
  const AVCodec* decoder = avcodec_find_decoder(in->codecpar->codec_id);
  const AVCodec* encoder = avcodec_find_encoder(codecId);
  if (decoder == nullptr || encoder == nullptr) return false;
  c.decoder = avcodec_alloc_context3(decoder);
  avcodec_parameters_to_context(c.decoder, in->codecpar);
  c.decoder->pkt_timebase = in->time_base;
  if (avcodec_open2(c.decoder, decoder, nullptr) < 0) return false;
  c.encoder = avcodec_alloc_context3(encoder);
  int rate = c.decoder->sample_rate > 0 ? c.decoder->sample_rate : 48000;
  if (encoder->supported_samplerates) {  // the nearest rate it takes at or above the clip's, else 48 kHz
    int best = 0;
    for (const int* r = encoder->supported_samplerates; *r; ++r)
      if (*r >= rate && (best == 0 || *r < best)) best = *r;
    rate = best ? best : 48000;
  }
  c.encoder->sample_rate = rate;
  c.encoder->sample_fmt = encoder->sample_fmts ? encoder->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
  av_channel_layout_default(&c.encoder->ch_layout, std::min(c.decoder->ch_layout.nb_channels, 8));
  c.encoder->time_base = {1, rate};
  if (output->oformat->flags & AVFMT_GLOBALHEADER) c.encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int err = avcodec_open2(c.encoder, encoder, nullptr);
  if (err < 0) {
    error = std::string("cannot start the ") + encoder->name + " encoder for a carried stream: " + AvError(err);
    return false;
  }
  err = swr_alloc_set_opts2(&c.resampler, &c.encoder->ch_layout, c.encoder->sample_fmt, rate, &c.decoder->ch_layout,
                            c.decoder->sample_fmt, c.decoder->sample_rate, 0, nullptr);
  if (err < 0 || swr_init(c.resampler) < 0) return false;
  c.fifo = av_audio_fifo_alloc(c.encoder->sample_fmt, c.encoder->ch_layout.nb_channels, rate);
  c.out = avformat_new_stream(output, nullptr);
  if (c.out == nullptr) return false;
  avcodec_parameters_from_context(c.out->codecpar, c.encoder);
  c.out->time_base = c.encoder->time_base;
  c.out->disposition = in->disposition;
  CopyDescription(in->metadata, &c.out->metadata);
  return true;
}

// Encodes whole frames of the FIFO, and what is left when `flush`.
bool CarriedStreams::Impl::Encode(Carried& c, bool flush, std::string& error) {
  const int size = c.encoder->frame_size > 0 ? c.encoder->frame_size : 1024;
  while (av_audio_fifo_size(c.fifo) >= size || (flush && av_audio_fifo_size(c.fifo) > 0)) {
    const int n = std::min(size, av_audio_fifo_size(c.fifo));
    av_frame_unref(c.frame);
    c.frame->nb_samples = n;
    c.frame->format = c.encoder->sample_fmt;
    c.frame->sample_rate = c.encoder->sample_rate;
    av_channel_layout_copy(&c.frame->ch_layout, &c.encoder->ch_layout);
    if (av_frame_get_buffer(c.frame, 0) < 0) return false;
    av_audio_fifo_read(c.fifo, reinterpret_cast<void**>(c.frame->data), n);
    c.frame->pts = c.nextSample;
    c.nextSample += n;
    if (avcodec_send_frame(c.encoder, c.frame) < 0) return false;
    AVPacket* p = av_packet_alloc();
    while (avcodec_receive_packet(c.encoder, p) == 0)
      if (!Write(p, c.encoder, c, error)) break;
    av_packet_free(&p);
    if (!error.empty()) return false;
  }
  if (!flush) return true;
  avcodec_send_frame(c.encoder, nullptr);
  AVPacket* p = av_packet_alloc();
  while (avcodec_receive_packet(c.encoder, p) == 0)
    if (!Write(p, c.encoder, c, error)) break;
  av_packet_free(&p);
  return error.empty();
}

// Decodes a packet (nil drains) into the FIFO at the encoder's rate; sound
// before the first video frame is cut, as the first audio's is.
bool CarriedStreams::Impl::Decode(Carried& c, const AVPacket* p, std::string& error) {
  if (avcodec_send_packet(c.decoder, p) < 0 && p != nullptr) return true;  // a damaged packet is skipped
  AVFrame* decoded = av_frame_alloc();
  bool ok = true;
  while (ok && avcodec_receive_frame(c.decoder, decoded) == 0) {
    const int64_t ts = decoded->best_effort_timestamp;
    const double at = ts == AV_NOPTS_VALUE ? 0 : (ts - c.offset) * av_q2d(c.in->time_base);
    const int capacity = swr_get_out_samples(c.resampler, decoded->nb_samples);
    uint8_t** converted = nullptr;
    if (capacity <= 0 ||
        av_samples_alloc_array_and_samples(&converted, nullptr, c.encoder->ch_layout.nb_channels, capacity,
                                           c.encoder->sample_fmt, 0) < 0) {
      ok = false;
      break;
    }
    const int made = swr_convert(c.resampler, converted, capacity, const_cast<const uint8_t**>(decoded->extended_data),
                                 decoded->nb_samples);
    int skip = 0;
    if (c.nextSample < 0) {  // where the sound starts on the video's timeline
      const int64_t first = std::llround(at * c.encoder->sample_rate);
      skip = first < 0 ? int(std::min<int64_t>(-first, made > 0 ? made : 0)) : 0;
      if (skip < made) c.nextSample = std::max<int64_t>(first, 0);
    }
    if (made > skip && c.nextSample >= 0) {
      uint8_t* from[AV_NUM_DATA_POINTERS] = {};
      const int planes = av_sample_fmt_is_planar(c.encoder->sample_fmt) ? c.encoder->ch_layout.nb_channels : 1;
      const int step = skip * av_get_bytes_per_sample(c.encoder->sample_fmt) *
                       (planes == 1 ? c.encoder->ch_layout.nb_channels : 1);
      for (int k = 0; k < planes && k < AV_NUM_DATA_POINTERS; ++k) from[k] = converted[k] + step;
      av_audio_fifo_write(c.fifo, reinterpret_cast<void**>(from), made - skip);
    }
    av_freep(&converted[0]);
    av_freep(&converted);
    av_frame_unref(decoded);
    ok = Encode(c, false, error);
  }
  av_frame_free(&decoded);
  if (!ok && error.empty()) error = "cannot encode a carried audio stream";
  return ok;
}

// The pending packet into the output, copied or encoded.
bool CarriedStreams::Impl::Pass(std::string& error) {
  Carried& c = *streams[size_t(packet->stream_index)];
  if (c.decoder) {
    const bool ok = Decode(c, packet, error);
    av_packet_unref(packet);
    return ok;
  }
  const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
  if (ts != AV_NOPTS_VALUE && ts < c.offset) {  // before the first video frame
    av_packet_unref(packet);
    return true;
  }
  if (packet->pts != AV_NOPTS_VALUE) packet->pts -= c.offset;
  if (packet->dts != AV_NOPTS_VALUE) packet->dts -= c.offset;
  return Write(packet, nullptr, c, error);
}

// The clip's chapters, on the output's timeline (from the first video frame).
bool CarriedStreams::Impl::AddChapters(std::string& error) {
  for (unsigned k = 0; k < input->nb_chapters; ++k) {
    const AVChapter* in = input->chapters[k];
    const int64_t shift = av_rescale_q(std::llround(videoStart * AV_TIME_BASE), AV_TIME_BASE_Q, in->time_base);
    if (in->end <= shift) continue;
    auto* out = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
    void* grown = out ? av_realloc_array(output->chapters, output->nb_chapters + 1, sizeof(AVChapter*)) : nullptr;
    if (grown == nullptr) {
      av_free(out);
      error = "out of memory for the chapters";
      return false;
    }
    output->chapters = static_cast<AVChapter**>(grown);
    out->id = in->id;
    out->time_base = in->time_base;
    out->start = std::max<int64_t>(in->start - shift, 0);
    out->end = in->end - shift;
    av_dict_copy(&out->metadata, in->metadata, 0);
    output->chapters[output->nb_chapters++] = out;
  }
  return true;
}

CarriedStreams::CarriedStreams(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
CarriedStreams::~CarriedStreams() = default;

std::unique_ptr<CarriedStreams> CarriedStreams::Open(const std::string& clip, const ClipInfo& source,
                                                     std::string& error) {
  auto d = std::make_unique<Impl>();
  int err = avformat_open_input(&d->input, clip.c_str(), nullptr, nullptr);
  if (err >= 0) err = avformat_find_stream_info(d->input, nullptr);
  if (err < 0) {
    error = clip + ": " + AvError(err);
    return nullptr;
  }
  d->video = source.videoStream;
  d->audio = source.audioStream;
  if (d->video >= 0 && unsigned(d->video) < d->input->nb_streams) {
    const AVStream* v = d->input->streams[d->video];
    d->videoStart = v->start_time == AV_NOPTS_VALUE ? 0 : v->start_time * av_q2d(v->time_base);
  }
  d->streams.resize(d->input->nb_streams);
  return std::unique_ptr<CarriedStreams>(new CarriedStreams(std::move(d)));
}

bool CarriedStreams::AddTo(AVFormatContext* output, AVCodecID audioCodec, const std::string& containerName,
                           std::vector<std::string>& notes, std::string& error) {
  Impl& d = *impl_;
  d.output = output;
  CopyDescription(d.input->metadata, &output->metadata);
  if (!d.AddChapters(error)) return false;
  for (unsigned k = 0; k < d.input->nb_streams; ++k) {
    AVStream* in = d.input->streams[k];
    if (int(k) == d.video || int(k) == d.audio) continue;
    auto c = std::make_unique<Carried>();
    c->in = in;
    c->offset = av_rescale_q(std::llround(d.videoStart * AV_TIME_BASE), AV_TIME_BASE_Q, in->time_base);
    const AVCodecParameters* p = in->codecpar;
    const bool taken = p->codec_id != AV_CODEC_ID_NONE &&
                       avformat_query_codec(output->oformat, p->codec_id, FF_COMPLIANCE_NORMAL) == 1;
    bool carried = taken && d.AddCopy(in, *c);
    if (!carried && p->codec_type == AVMEDIA_TYPE_AUDIO) {
      carried = d.AddEncoded(in, audioCodec, *c, error);
      if (!error.empty()) return false;
    }
    if (!carried) {
      const AVDictionaryEntry* title = av_dict_get(in->metadata, "title", nullptr, 0);
      notes.push_back("left out: stream " + std::to_string(k) + ", " + KindOf(p) + " (" +
                      avcodec_get_name(p->codec_id) + (title ? std::string(", \"") + title->value + "\"" : "") +
                      "): " + containerName + " cannot hold it");
      continue;
    }
    d.streams[k] = std::move(c);
  }
  return true;
}

void CarriedStreams::Describe(AVStream* video, AVStream* audio) const {
  const Impl& d = *impl_;
  if (video && d.video >= 0) CopyDescription(d.input->streams[d.video]->metadata, &video->metadata);
  if (audio && d.audio >= 0) CopyDescription(d.input->streams[d.audio]->metadata, &audio->metadata);
}

bool CarriedStreams::WriteUntil(double seconds, std::string& error) {
  Impl& d = *impl_;
  if (d.output == nullptr) return true;
  while (!d.ended) {
    if (!d.pending) {
      if (av_read_frame(d.input, d.packet) < 0) {
        d.ended = true;
        break;
      }
      const int k = d.packet->stream_index;
      if (k < 0 || size_t(k) >= d.streams.size() || d.streams[size_t(k)] == nullptr) {
        av_packet_unref(d.packet);
        continue;
      }
      d.pending = true;
    }
    const AVStream* in = d.input->streams[d.packet->stream_index];
    const int64_t ts = d.packet->dts != AV_NOPTS_VALUE ? d.packet->dts : d.packet->pts;
    if (ts != AV_NOPTS_VALUE && ts * av_q2d(in->time_base) - d.videoStart > seconds) return true;
    d.pending = false;
    if (!d.Pass(error)) return false;
  }
  return true;
}

bool CarriedStreams::Finish(std::string& error) {
  if (!WriteUntil(std::numeric_limits<double>::infinity(), error)) return false;
  for (auto& c : impl_->streams)
    if (c && c->decoder && (!impl_->Decode(*c, nullptr, error) || !impl_->Encode(*c, true, error))) return false;
  return true;
}
