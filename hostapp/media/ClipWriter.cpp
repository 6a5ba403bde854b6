#include "media/ClipWriter.h"

#include <map>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "OutputFiles.h"
#include "media/CarriedStreams.h"
#include "media/ClipReader.h"
#include "media/Colour.h"
#include "media/MediaError.h"
#include "media/ShownColour.h"

namespace {

// The first of `wanted` the encoder takes, else its own first choice.
AVPixelFormat ChoosePixelFormat(const AVCodec* codec, std::initializer_list<AVPixelFormat> wanted) {
  for (AVPixelFormat w : wanted)
    for (const AVPixelFormat* p = codec->pix_fmts; p && *p != AV_PIX_FMT_NONE; ++p)
      if (*p == w) return w;
  return codec->pix_fmts ? codec->pix_fmts[0] : AV_PIX_FMT_YUV420P;
}

AVSampleFormat ChooseSampleFormat(const AVCodec* codec) {
  return codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
}

}  // namespace

struct ClipWriter::Impl {
  OutputFormat format;
  std::string path;
  int width = 0, height = 0;
  AVRational rate{25, 1};
  AVFormatContext* output = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  AVStream* videoStream = nullptr;
  AVStream* audioStream = nullptr;
  SwsContext* converter = nullptr;  // A,R,G,B to the encoder's format
  // For 8-bit planar Y'CbCr: our own conversion gives the chroma of every
  // pixel (planes 1 and 2 of `full`), the downscaler brings it to the format's.
  AVFrame* full = nullptr;
  SwsContext* downscaler = nullptr;
  SwsContext* passer = nullptr;     // the source's format to the encoder's
  int swsMatrix = 0;                // the matrix both convert with
  SwrContext* resampler = nullptr;
  AVAudioFifo* fifo = nullptr;
  AVFrame* picture = av_frame_alloc();
  AVFrame* sound = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  int64_t framesWritten = 0;
  int64_t samplesWritten = 0;
  bool headerWritten = false;
  // A variable-rate source's frames keep their own times, in its time
  // base: the next frame's, and each written frame's duration by its time.
  bool timed = false;
  int64_t nextPts = 0, nextDuration = 1;
  std::map<int64_t, int64_t> durations;
  std::unique_ptr<CarriedStreams> carried;
  std::vector<std::string> notes;

  ~Impl() {
    if (output && headerWritten == false && output->pb) avio_closep(&output->pb);
    avcodec_free_context(&video);
    avcodec_free_context(&audio);
    if (output) {
      if (output->pb) avio_closep(&output->pb);
      avformat_free_context(output);
    }
    sws_freeContext(converter);
    sws_freeContext(downscaler);
    av_frame_free(&full);
    sws_freeContext(passer);
    swr_free(&resampler);
    if (fifo) av_audio_fifo_free(fifo);
    av_frame_free(&picture);
    av_frame_free(&sound);
    av_packet_free(&packet);
  }

  // Sends a frame (or nil to flush) and writes what the encoder gives back.
  bool Encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame, std::string& error) {
    int err = avcodec_send_frame(codec, frame);
    if (err < 0 && err != AVERROR_EOF) {
      error = "encoding failed: " + AvError(err);
      return false;
    }
    while ((err = avcodec_receive_packet(codec, packet)) == 0) {
      if (format == OutputFormat::PngFrames) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame_%06lld.png", (long long)framesWritten);
        FILE* f = std::fopen((path + name).c_str(), "wb");
        bool ok = f && std::fwrite(packet->data, 1, size_t(packet->size), f) == size_t(packet->size);
        // The buffered bytes reach the file only at fclose, which can fail too.
        if (f && std::fclose(f) != 0) ok = false;
        av_packet_unref(packet);
        if (!ok) {
          error = "cannot write " + path + name + ": " + std::strerror(errno);
          return false;
        }
        continue;
      }
      // Every frame lasts its frame's time, the last one too, so that players
      // and readers see the clip's true length and rate.
      if (codec->codec_type == AVMEDIA_TYPE_VIDEO) {
        auto lasting = timed ? durations.find(packet->pts) : durations.end();
        if (lasting != durations.end()) {
          packet->duration = lasting->second;
          durations.erase(lasting);
        } else if (packet->duration == 0) {
          packet->duration = 1;
        }
      }
      av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      err = av_interleaved_write_frame(output, packet);
      if (err < 0) {
        error = "cannot write " + path + ": " + AvError(err);
        return false;
      }
    }
    if (err != AVERROR(EAGAIN) && err != AVERROR_EOF) {
      error = "encoding failed: " + AvError(err);
      return false;
    }
    return true;
  }

  bool FullRange() const { return video->color_range == AVCOL_RANGE_JPEG; }
  bool PrepareOwnConversion(std::string& error);
  bool ConvertOwn(const uint8_t* argb, int rowBytes);

  // The steps of Create: the encoders, the file's header, the picture the
  // frames are converted into.
  bool OpenVideo(const AVCodec* codec, const ClipInfo* source, std::string& error);
  bool OpenAudio(std::string& error);
  bool Carry(const std::string& clip, const ClipInfo& source, std::string& error);
  bool StartFile(std::string& error);
  bool PreparePicture(const AVCodec* codec, std::string& error);

  // Encodes `frame` as the next picture, then its audio.
  bool EncodePicture(AVFrame* frame, const float* audioIn, int samples, std::string& error) {
    frame->pts = timed ? nextPts : framesWritten;
    if (timed) {
      // The encoder may pass on a decoded frame's own duration; this one is the clip's.
      durations[nextPts] = nextDuration;
      frame->pkt_duration = nextDuration;
    }
    frame->pict_type = AV_PICTURE_TYPE_NONE;  // the encoder chooses, not the source's coding
    if (!Encode(video, videoStream, frame, error)) return false;
    ++framesWritten;
    // The other streams' packets up to this frame's end, interleaved with it.
    const double ends = timed ? double(nextPts + nextDuration) * av_q2d(video->time_base) : framesWritten / av_q2d(rate);
    if (carried && !carried->WriteUntil(ends, error)) return false;
    if (audio == nullptr || samples <= 0) return true;
    uint8_t** converted = nullptr;
    if (av_samples_alloc_array_and_samples(&converted, nullptr, kAudioChannels, samples, audio->sample_fmt, 0) < 0) {
      error = "out of memory for audio";
      return false;
    }
    const uint8_t* in = reinterpret_cast<const uint8_t*>(audioIn);
    const int made = swr_convert(resampler, converted, samples, &in, samples);
    if (made > 0) av_audio_fifo_write(fifo, reinterpret_cast<void**>(converted), made);
    av_freep(&converted[0]);
    av_freep(&converted);
    return EncodeAudio(false, error);
  }

  // Encodes whole audio frames from the FIFO; all of it when `flush`.
  bool EncodeAudio(bool flush, std::string& error) {
    const int frameSize = audio->frame_size > 0 ? audio->frame_size : 1024;
    while (av_audio_fifo_size(fifo) >= frameSize || (flush && av_audio_fifo_size(fifo) > 0)) {
      const int n = std::min(frameSize, av_audio_fifo_size(fifo));
      av_frame_unref(sound);
      sound->nb_samples = n;
      sound->format = audio->sample_fmt;
      av_channel_layout_copy(&sound->ch_layout, &audio->ch_layout);
      sound->sample_rate = audio->sample_rate;
      if (av_frame_get_buffer(sound, 0) < 0) {
        error = "out of memory for audio";
        return false;
      }
      av_audio_fifo_read(fifo, reinterpret_cast<void**>(sound->data), n);
      sound->pts = samplesWritten;
      samplesWritten += n;
      if (!Encode(audio, audioStream, sound, error)) return false;
    }
    return true;
  }
};

ClipWriter::ClipWriter(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ClipWriter::~ClipWriter() = default;

namespace {

// The video encoder's colours: the source's tags where there is a source,
// else what players assume of each format.
void TagColours(AVCodecContext* video, OutputFormat format, const ClipInfo* source) {
  if (source != nullptr) {
    video->color_primaries = AVColorPrimaries(source->primaries);
    video->color_trc = AVColorTransferCharacteristic(source->transfer);
    video->colorspace = AVColorSpace(source->matrix);
    video->color_range = AVColorRange(source->range);
    if (PlainFormat(AVPixelFormat(source->pixelFormat)) != AVPixelFormat(source->pixelFormat))
      video->color_range = AVCOL_RANGE_JPEG;
  } else if (format == OutputFormat::Mp4) {
    video->colorspace = AVCOL_SPC_BT709;
    video->color_range = AVCOL_RANGE_MPEG;
  }
  // Y'CbCr without a range of its own is limited range, as decoders take it.
  if (video->color_range == AVCOL_RANGE_UNSPECIFIED && IsYCbCr(video->pix_fmt) && format == OutputFormat::Mp4)
    video->color_range = AVCOL_RANGE_MPEG;
}

}  // namespace

bool ClipWriter::Impl::OpenVideo(const AVCodec* codec, const ClipInfo* source, std::string& error) {
  video = avcodec_alloc_context3(codec);
  video->width = width;
  video->height = height;
  // A variable-rate clip's frames are timed in its own time base.
  timed = source != nullptr && source->variableRate && format != OutputFormat::PngFrames;
  video->time_base = timed ? AVRational{source->timeBaseNum, source->timeBaseDen} : av_inv_q(rate);
  video->framerate = rate;
  // Lossless Matroska keeps the source's own pixel format where FFV1 has it,
  // so that untouched frames go through unchanged.
  const AVPixelFormat sourceFormat = source ? PlainFormat(AVPixelFormat(source->pixelFormat)) : AV_PIX_FMT_NONE;
  video->pix_fmt = format == OutputFormat::Mp4 ? ChoosePixelFormat(codec, {AV_PIX_FMT_YUV420P})
                   : format == OutputFormat::Matroska
                       ? ChoosePixelFormat(codec, {sourceFormat, AV_PIX_FMT_BGRA, AV_PIX_FMT_GBRP})
                       : ChoosePixelFormat(codec, {AV_PIX_FMT_RGB24});
  if (format == OutputFormat::Mp4) {
    av_opt_set(video->priv_data, "preset", "fast", 0);
    av_opt_set(video->priv_data, "crf", "18", 0);
  }
  TagColours(video, format, source);
  swsMatrix = SwsMatrix(video->colorspace == AVCOL_SPC_UNSPECIFIED && format == OutputFormat::Mp4 && source == nullptr
                            ? AVCOL_SPC_BT709
                            : video->colorspace,
                        height);
  if (output && (output->oformat->flags & AVFMT_GLOBALHEADER)) video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const int err = avcodec_open2(video, codec, nullptr);
  if (err < 0) {
    error = std::string("cannot start the ") + codec->name + " encoder: " + AvError(err);
    return false;
  }
  if (output) {
    videoStream = avformat_new_stream(output, nullptr);
    avcodec_parameters_from_context(videoStream->codecpar, video);
    videoStream->time_base = video->time_base;
  }
  return true;
}

bool ClipWriter::Impl::OpenAudio(std::string& error) {
  const AVCodec* codec = avcodec_find_encoder(format == OutputFormat::Mp4 ? AV_CODEC_ID_AAC : AV_CODEC_ID_FLAC);
  if (codec == nullptr) {
    error = "no audio encoder";
    return false;
  }
  audio = avcodec_alloc_context3(codec);
  audio->sample_rate = kAudioRate;
  audio->sample_fmt = ChooseSampleFormat(codec);
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  av_channel_layout_copy(&audio->ch_layout, &stereo);
  audio->time_base = {1, kAudioRate};
  if (output->oformat->flags & AVFMT_GLOBALHEADER) audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const int err = avcodec_open2(audio, codec, nullptr);
  if (err < 0) {
    error = std::string("cannot start the audio encoder: ") + AvError(err);
    return false;
  }
  audioStream = avformat_new_stream(output, nullptr);
  avcodec_parameters_from_context(audioStream->codecpar, audio);
  audioStream->time_base = audio->time_base;
  if (swr_alloc_set_opts2(&resampler, &audio->ch_layout, audio->sample_fmt, kAudioRate, &stereo, AV_SAMPLE_FMT_FLT,
                          kAudioRate, 0, nullptr) < 0 ||
      swr_init(resampler) < 0) {
    error = "cannot convert audio for the encoder";
    return false;
  }
  fifo = av_audio_fifo_alloc(audio->sample_fmt, kAudioChannels, kAudioRate);
  return true;
}

bool ClipWriter::Impl::Carry(const std::string& clip, const ClipInfo& source, std::string& error) {
  carried = CarriedStreams::Open(clip, source, error);
  if (!carried) return false;
  carried->Describe(videoStream, audioStream);
  const bool mp4 = format == OutputFormat::Mp4;
  return carried->AddTo(output, mp4 ? AV_CODEC_ID_AAC : AV_CODEC_ID_FLAC, mp4 ? "MP4" : "Matroska", notes, error);
}

bool ClipWriter::Impl::StartFile(std::string& error) {
  int err = avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE);
  if (err >= 0) err = avformat_write_header(output, nullptr);
  if (err < 0) {
    error = "cannot write " + path + ": " + AvError(err);
    return false;
  }
  headerWritten = true;
  return true;
}

bool ClipWriter::Impl::PreparePicture(const AVCodec* codec, std::string& error) {
  picture->format = video->pix_fmt;
  picture->width = width;
  picture->height = height;
  if (av_frame_get_buffer(picture, 0) < 0) {
    error = "out of memory for video";
    return false;
  }
  if (IsPlanarYCbCr8(video->pix_fmt)) return PrepareOwnConversion(error);
  converter = ColourConverter(nullptr, width, height, AV_PIX_FMT_ARGB, true, video->pix_fmt, FullRange(), swsMatrix,
                              SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP);
  if (converter == nullptr) {
    error = std::string("cannot convert frames of ") + std::to_string(width) + " x " + std::to_string(height) +
            " for the " + codec->name + " encoder";
    return false;
  }
  return true;
}

bool ClipWriter::Impl::PrepareOwnConversion(std::string& error) {
  const AVPixFmtDescriptor* layout = av_pix_fmt_desc_get(video->pix_fmt);
  full = av_frame_alloc();
  if (full == nullptr) return error = "out of memory for video", false;
  full->format = AV_PIX_FMT_YUV444P;
  full->width = width;
  full->height = height;
  if (av_frame_get_buffer(full, 0) < 0) return error = "out of memory for video", false;
  if (layout->log2_chroma_w == 0 && layout->log2_chroma_h == 0) return true;
  downscaler = sws_getContext(width, height, AV_PIX_FMT_GRAY8, AV_CEIL_RSHIFT(width, layout->log2_chroma_w),
                              AV_CEIL_RSHIFT(height, layout->log2_chroma_h), AV_PIX_FMT_GRAY8,
                              SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
  if (downscaler == nullptr) return error = "cannot scale the chroma of frames of " + std::to_string(width) + " x " + std::to_string(height), false;
  return true;
}

// The frame's colours by our own formula, the luma straight into the
// picture; the chroma of every pixel then scaled down to the format's, each
// plane as a grey picture (the filter the scaler uses for chroma sited in the
// middle of its pixels).
bool ClipWriter::Impl::ConvertOwn(const uint8_t* argb, int rowBytes) {
  const bool fullRes = downscaler == nullptr;
  const AVFrame* chroma = fullRes ? picture : full;
  const YCbCrOut planes{{picture->data[0], chroma->data[1], chroma->data[2]},
                        {picture->linesize[0], chroma->linesize[1], chroma->linesize[2]}};
  ArgbToYCbCr(argb, rowBytes, width, height, MatrixFrom(sws_getCoefficients(swsMatrix), FullRange()), planes);
  if (fullRes) return true;
  const int chromaRows = AV_CEIL_RSHIFT(height, av_pix_fmt_desc_get(video->pix_fmt)->log2_chroma_h);
  return ScaleChromaPlanes(downscaler, full, height, picture, chromaRows);
}

std::unique_ptr<ClipWriter> ClipWriter::Create(const std::string& path, OutputFormat format, int width, int height,
                                               int fpsNum, int fpsDen, bool withAudio, std::string& error,
                                               const ClipInfo* source, const std::string& carryFrom) {
  auto d = std::make_unique<Impl>();
  d->format = format;
  d->path = path;
  d->width = width;
  d->height = height;
  d->rate = {fpsNum, fpsDen};
  if (format == OutputFormat::PngFrames) withAudio = false;

  const AVCodecID videoId = format == OutputFormat::Mp4 ? AV_CODEC_ID_H264
                            : format == OutputFormat::Matroska ? AV_CODEC_ID_FFV1
                                                               : AV_CODEC_ID_PNG;
  const AVCodec* videoCodec = avcodec_find_encoder(videoId);
  if (videoCodec == nullptr) {
    error = std::string("no encoder for ") + avcodec_get_name(videoId);
    return nullptr;
  }
  if (format != OutputFormat::PngFrames) {
    const char* muxer = format == OutputFormat::Mp4 ? "mp4" : "matroska";
    const int err = avformat_alloc_output_context2(&d->output, nullptr, muxer, path.c_str());
    if (err < 0) {
      error = "cannot write " + path + ": " + AvError(err);
      return nullptr;
    }
  }
  if (!d->OpenVideo(videoCodec, source, error) || (withAudio && !d->OpenAudio(error)) ||
      (d->output && source && !carryFrom.empty() && !d->Carry(carryFrom, *source, error)) || (d->output && !d->StartFile(error)) ||
      !d->PreparePicture(videoCodec, error))
    return nullptr;
  return std::unique_ptr<ClipWriter>(new ClipWriter(std::move(d)));
}

const std::vector<std::string>& ClipWriter::notes() const { return impl_->notes; }

void ClipWriter::TimeNextFrame(int64_t start, int64_t duration) {
  impl_->nextPts = start;
  impl_->nextDuration = std::max<int64_t>(duration, 1);
}

bool ClipWriter::WriteFrame(const uint8_t* argb, int rowBytes, const float* audio, int samples, std::string& error) {
  Impl& d = *impl_;
  if (av_frame_make_writable(d.picture) < 0) {
    error = "out of memory for video";
    return false;
  }
  if (d.full != nullptr) {
    if (!d.ConvertOwn(argb, rowBytes)) {
      error = "cannot convert a frame for " + d.path;
      return false;
    }
  } else {
    const uint8_t* src[4] = {argb, nullptr, nullptr, nullptr};
    const int srcStride[4] = {rowBytes, 0, 0, 0};
    sws_scale(d.converter, src, srcStride, 0, d.height, d.picture->data, d.picture->linesize);
  }
  return d.EncodePicture(d.picture, audio, samples, error);
}

bool ClipWriter::WriteDecodedFrame(const AVFrame* frame, const float* audio, int samples, std::string& error) {
  Impl& d = *impl_;
  if (frame == nullptr || frame->width != d.width || frame->height != d.height) {
    error = "a decoded frame does not fit " + d.path;
    return false;
  }
  if (PlainFormat(AVPixelFormat(frame->format)) == d.video->pix_fmt) {
    AVFrame* same = av_frame_clone(frame);
    if (same == nullptr) {
      error = "out of memory for video";
      return false;
    }
    if (same->format != d.video->pix_fmt) {  // JPEG's naming of the same planes
      same->format = d.video->pix_fmt;
      same->color_range = AVCOL_RANGE_JPEG;
    }
    const bool ok = d.EncodePicture(same, audio, samples, error);
    av_frame_free(&same);
    return ok;
  }
  d.passer = ColourConverter(d.passer, d.width, d.height, AVPixelFormat(frame->format),
                             frame->color_range == AVCOL_RANGE_JPEG, d.video->pix_fmt, d.FullRange(), d.swsMatrix,
                             SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP | SWS_FULL_CHR_H_INT);
  if (d.passer == nullptr || av_frame_make_writable(d.picture) < 0) {
    error = "cannot convert the clip's frames for " + d.path;
    return false;
  }
  sws_scale(d.passer, frame->data, frame->linesize, 0, d.height, d.picture->data, d.picture->linesize);
  return d.EncodePicture(d.picture, audio, samples, error);
}

bool ClipWriter::Finish(std::string& error) {
  Impl& d = *impl_;
  if (!d.Encode(d.video, d.videoStream, nullptr, error)) return false;
  if (d.audio != nullptr) {
    if (!d.EncodeAudio(true, error) || !d.Encode(d.audio, d.audioStream, nullptr, error)) return false;
  }
  if (d.carried && !d.carried->Finish(error)) return false;
  if (d.output) {
    int err = av_write_trailer(d.output);
    if (err < 0) {
      error = "cannot complete " + d.path + ": " + AvError(err);
      return false;
    }
    if ((err = avio_closep(&d.output->pb)) < 0) {
      error = "cannot complete " + d.path + ": " + AvError(err);
      return false;
    }
  }
  return true;
}

bool WritePng(const std::string& path, const uint8_t* argb, int width, int height, int rowBytes, bool overwrite,
              std::string& error) {
  // The encoder writes numbered frames into a folder of its own.
  const std::string folder = TemporaryBeside(path);
  if (::mkdir(folder.c_str(), 0700) != 0) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  bool ok = false;
  {
    auto writer = ClipWriter::Create(folder, OutputFormat::PngFrames, width, height, 25, 1, false, error);
    ok = writer && writer->WriteFrame(argb, rowBytes, nullptr, 0, error) && writer->Finish(error);
  }
  const std::string frame = folder + "/frame_000000.png";
  ok = ok && PlaceOutput(frame, path, overwrite, error);
  RemoveOutput(folder);
  return ok;
}
