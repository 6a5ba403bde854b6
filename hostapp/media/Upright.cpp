#include "media/Upright.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

int Orientation::ClockwiseDegrees() const {
  // The stored frame's downward axis shows along (c, d) whether or not it is
  // mirrored first: (0, 1) turned clockwise by t is (-sin t, cos t).
  const int degrees = int(std::lround(std::atan2(-c, d) * 180 / M_PI));
  return (degrees + 360) % 360;
}

bool OrientationOf(const int32_t* m, Orientation& orientation) {
  orientation = Orientation();
  if (m == nullptr) return true;
  const double entries[4] = {m[0] / 65536.0, m[1] / 65536.0, m[3] / 65536.0, m[4] / 65536.0};
  double largest = 0;
  for (double e : entries) largest = std::fmax(largest, std::fabs(e));
  if (largest == 0) return false;
  int signs[4];
  for (int k = 0; k < 4; ++k) {
    const double e = entries[k] / largest;
    if (std::fabs(e) < 0.01)
      signs[k] = 0;
    else if (std::fabs(std::fabs(e) - 1) < 0.01)
      signs[k] = e > 0 ? 1 : -1;
    else
      return false;  // a free angle
  }
  const Orientation o{signs[0], signs[1], signs[2], signs[3]};
  // One axis to one axis, both ways.
  if (std::abs(o.a * o.d - o.b * o.c) != 1) return false;
  orientation = o;
  return true;
}

namespace {

bool PlanesTurnAsTheyAre(AVPixelFormat format, const Orientation& o) {
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  if (desc == nullptr) return false;
  if (desc->flags & (AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BAYER))
    return false;
  const bool subsampled = desc->log2_chroma_w != 0 || desc->log2_chroma_h != 0;
  // Packed Y'CbCr shares a chroma sample between neighbours in one plane.
  if (!(desc->flags & AV_PIX_FMT_FLAG_PLANAR) && subsampled) return false;
  return !(o.SwapsAxes() && desc->log2_chroma_w != desc->log2_chroma_h);
}

// One plane of `width` x `height` elements of `size` bytes, turned.
void TurnPlane(const uint8_t* from, int fromStride, int width, int height, int size, const Orientation& o,
               uint8_t* to, int toStride) {
  const int tx = (o.a < 0 ? width - 1 : 0) + (o.c < 0 ? height - 1 : 0);
  const int ty = (o.b < 0 ? width - 1 : 0) + (o.d < 0 ? height - 1 : 0);
  const int outWidth = o.SwapsAxes() ? height : width, outHeight = o.SwapsAxes() ? width : height;
  // The stored element each shown one comes from: the inverse of an
  // orientation is its transpose. Along a shown row it moves by (a, c).
  const ptrdiff_t step = ptrdiff_t(o.c) * fromStride + ptrdiff_t(o.a) * size;
  for (int y = 0; y < outHeight; ++y) {
    const int p = -o.a * tx + o.b * (y - ty), q = -o.c * tx + o.d * (y - ty);
    const uint8_t* s = from + ptrdiff_t(q) * fromStride + ptrdiff_t(p) * size;
    uint8_t* d = to + ptrdiff_t(y) * toStride;
    if (size == 1) {
      for (int x = 0; x < outWidth; ++x, s += step) d[x] = *s;
    } else if (size == 2) {
      for (int x = 0; x < outWidth; ++x, s += step) std::memcpy(d + 2 * x, s, 2);
    } else {
      for (int x = 0; x < outWidth; ++x, s += step) std::memcpy(d + ptrdiff_t(x) * size, s, size_t(size));
    }
  }
}

// `frame` converted to `format` at its size, range kept.
AVFrame* Converted(const AVFrame* frame, AVPixelFormat format, SwsContext*& converter) {
  converter = sws_getCachedContext(converter, frame->width, frame->height, AVPixelFormat(frame->format), frame->width,
                                   frame->height, format, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
                                   nullptr, nullptr);
  AVFrame* out = av_frame_alloc();
  if (converter == nullptr || out == nullptr) {
    av_frame_free(&out);
    return nullptr;
  }
  out->format = format;
  out->width = frame->width;
  out->height = frame->height;
  if (av_frame_get_buffer(out, 0) < 0 || av_frame_copy_props(out, frame) < 0) {
    av_frame_free(&out);
    return nullptr;
  }
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(frame->format));
  const bool full = frame->color_range == AVCOL_RANGE_JPEG || (desc && std::strstr(desc->name, "yuvj") == desc->name);
  const int* coefficients = sws_getCoefficients(SWS_CS_DEFAULT);
  sws_setColorspaceDetails(converter, coefficients, full, coefficients, full, 0, 1 << 16, 1 << 16);
  sws_scale(converter, frame->data, frame->linesize, 0, frame->height, out->data, out->linesize);
  out->color_range = full ? AVCOL_RANGE_JPEG : frame->color_range;
  return out;
}

}  // namespace

AVPixelFormat TurnableFormat(AVPixelFormat format, const Orientation& o) {
  if (PlanesTurnAsTheyAre(format, o)) return format;
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  const bool deep = desc != nullptr && desc->comp[0].depth > 8;
  if (desc != nullptr && (desc->flags & AV_PIX_FMT_FLAG_RGB)) return deep ? AV_PIX_FMT_GBRP16 : AV_PIX_FMT_GBRP;
  return deep ? AV_PIX_FMT_YUV444P16 : AV_PIX_FMT_YUV444P;
}

bool TurnUpright(const AVFrame* stored, const Orientation& o, AVFrame* upright, SwsContext*& converter) {
  const AVPixelFormat format = TurnableFormat(AVPixelFormat(stored->format), o);
  AVFrame* level = format == stored->format ? nullptr : Converted(stored, format, converter);
  if (format != stored->format && level == nullptr) return false;
  const AVFrame* from = level ? level : stored;
  av_frame_unref(upright);
  upright->format = format;
  upright->width = o.SwapsAxes() ? from->height : from->width;
  upright->height = o.SwapsAxes() ? from->width : from->height;
  bool ok = av_frame_get_buffer(upright, 0) >= 0 && av_frame_copy_props(upright, from) >= 0;
  if (ok) {
    // Shown as it is now: nothing left to turn, pixels as wide as before.
    av_frame_remove_side_data(upright, AV_FRAME_DATA_DISPLAYMATRIX);
    if (o.SwapsAxes() && from->sample_aspect_ratio.num > 0)
      upright->sample_aspect_ratio = {from->sample_aspect_ratio.den, from->sample_aspect_ratio.num};
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    const bool ycbcr = !(desc->flags & AV_PIX_FMT_FLAG_RGB);
    for (int plane = 0; plane < av_pix_fmt_count_planes(format); ++plane) {
      int size = 0;
      bool chroma = false;
      for (int k = 0; k < desc->nb_components; ++k)
        if (desc->comp[k].plane == plane) {
          size = desc->comp[k].step;
          chroma = chroma || (ycbcr && (k == 1 || k == 2));
        }
      const int width = chroma ? AV_CEIL_RSHIFT(from->width, desc->log2_chroma_w) : from->width;
      const int height = chroma ? AV_CEIL_RSHIFT(from->height, desc->log2_chroma_h) : from->height;
      TurnPlane(from->data[plane], from->linesize[plane], width, height, size, o, upright->data[plane],
                upright->linesize[plane]);
    }
  }
  av_frame_free(&level);
  return ok;
}
