#include "media/Colour.h"

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

int SwsMatrix(AVColorSpace matrix, int height) {
  if (matrix == AVCOL_SPC_UNSPECIFIED || matrix == AVCOL_SPC_RESERVED || matrix == AVCOL_SPC_RGB)
    return height > 576 ? SWS_CS_ITU709 : SWS_CS_ITU601;
  return int(matrix);
}

AVPixelFormat PlainFormat(AVPixelFormat format) {
  switch (format) {
    case AV_PIX_FMT_YUVJ420P: return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: return AV_PIX_FMT_YUV411P;
    default: return format;
  }
}

bool IsYCbCr(AVPixelFormat format) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
  return d != nullptr && !(d->flags & AV_PIX_FMT_FLAG_RGB) && d->nb_components >= 3;
}

bool IsPlanarYCbCr8(AVPixelFormat format) {
  switch (PlainFormat(format)) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUV440P:
    case AV_PIX_FMT_YUV411P:
    case AV_PIX_FMT_YUV444P: return true;
    default: return false;
  }
}

bool ScaleChromaPlanes(SwsContext* scaler, const AVFrame* from, int fromRows, AVFrame* to, int toRows) {
  for (int p = 1; p <= 2; ++p) {
    const uint8_t* src[4] = {from->data[p], nullptr, nullptr, nullptr};
    const int srcStride[4] = {from->linesize[p], 0, 0, 0};
    uint8_t* dst[4] = {to->data[p], nullptr, nullptr, nullptr};
    const int dstStride[4] = {to->linesize[p], 0, 0, 0};
    if (sws_scale(scaler, src, srcStride, 0, fromRows, dst, dstStride) != toRows) return false;
  }
  return true;
}

SwsContext* ColourConverter(SwsContext* cached, int width, int height, AVPixelFormat from, bool fromFull,
                            AVPixelFormat to, bool toFull, int swsMatrix, int flags) {
  SwsContext* c = sws_getCachedContext(cached, width, height, from, width, height, to, flags, nullptr, nullptr, nullptr);
  if (c == nullptr) return nullptr;
  const int* coefficients = sws_getCoefficients(swsMatrix);
  sws_setColorspaceDetails(c, coefficients, IsYCbCr(from) ? fromFull : 1, coefficients, IsYCbCr(to) ? toFull : 1, 0,
                           1 << 16, 1 << 16);
  return c;
}
