#include "render/CGglue.h"

#include "common/commonprocs.h"
#include "text/PascalString.h"

namespace {

// Both drawing entries: the context is made, set up, drawn into and handed back.
void DrawInPort(GWorldPtr TheGW, CGImageRef TheImage, const CGRect& target, Float32 TheRadiants, bool ClearFirst,
                bool withAlpha, Float64 Alpha, SInt16 BlendMode) {
  if (TheImage == nullptr) return;
  CGContextRef context = nullptr;
  QDBeginCGContext(TheGW, &context);
  if (withAlpha) {
    if (Alpha >= 0) CGContextSetAlpha(context, Float32(Alpha));
    CGContextSetBlendMode(context, BlendMode);
  }
  DrawRotatedImageInCGRect(context, TheImage, target, TheRadiants, ClearFirst);
  CGContextFlush(context);
  QDEndCGContext(TheGW, &context);
}

}  // namespace

CGRect QDRectToGCRect(const Rect& TheRect, const Rect& TheFrame) {
  const SInt32 portHeight = SInt32(TheFrame.bottom) - TheFrame.top;
  return CGRectMake(Float32(TheRect.left), Float32(portHeight - TheRect.bottom),
                    Float32(SInt32(TheRect.right) - TheRect.left),
                    Float32(SInt32(TheRect.bottom) - TheRect.top));
}

void DrawRotatedImageInCGRect(CGContextRef TheContext, CGImageRef TheImage, CGRect TargetRect,
                              Float32 TheRadiants, bool ClearFirst) {
  // The two messages keep their established wording, which names this routine
  // DrawRotatedImageInQDRect.
  Assert(TheContext, PStr("NIL context for DrawRotatedImageInQDRect"));
  Assert(TheImage, PStr("NIL Image for DrawRotatedImageInQDRect"));
  CGContextSaveGState(TheContext);
  const Float32 w = Float32(TargetRect.size.width), h = Float32(TargetRect.size.height);
  const CGRect centred = CGRectMake(-w / 2.0f, -h / 2.0f, w, h);
  CGContextTranslateCTM(TheContext, Float32(TargetRect.origin.x) + w / 2.0f,
                        Float32(TargetRect.origin.y) + h / 2.0f);
  CGContextRotateCTM(TheContext, TheRadiants);
  if (ClearFirst) CGContextClearRect(TheContext, centred);
  CGContextDrawImage(TheContext, centred, TheImage);
  CGContextRestoreGState(TheContext);
}

void DrawCGImageInQDRect(GWorldPtr TheGW, CGImageRef TheImage, const Rect& QDTargetRect,
                         Float32 TheRadiants, bool ClearFirst) {
  DrawInPort(TheGW, TheImage, QDRectToGCRect(QDTargetRect, GetPortRect(TheGW)), TheRadiants, ClearFirst, false, 1, 0);
}

void DrawCGImageInQDRectWithAlpha(GWorldPtr TheGW, CGImageRef TheImage, const Rect& QDTargetRect,
                                  Float32 TheRadiants, bool ClearFirst, Float64 Alpha,
                                  SInt16 BlendMode) {
  DrawInPort(TheGW, TheImage, QDRectToGCRect(QDTargetRect, GetPortRect(TheGW)), TheRadiants, ClearFirst, true, Alpha,
             BlendMode);
}

void DrawCGImageInFrameRectWithAlpha(GWorldPtr TheGW, CGImageRef TheImage, Float64 left, Float64 top, Float64 right,
                                     Float64 bottom, Float32 TheRadiants, Float64 Alpha, SInt16 BlendMode) {
  const Rect port = GetPortRect(TheGW);
  const CGRect target = CGRectMake(left, (SInt32(port.bottom) - port.top) - bottom, right - left, bottom - top);
  DrawInPort(TheGW, TheImage, target, TheRadiants, false, true, Alpha, BlendMode);
}

Rect CalcProportionalImageForFrame(CGImageRef TheImage, const Rect& TheFrame) {
  if (TheImage == nullptr) return Rect{0, 0, 0, 0};
  const Rect imageRect = {0, 0, SInt16(CGImageGetHeight(TheImage)), SInt16(CGImageGetWidth(TheImage))};
  return CalcProportionalRectForFrame(imageRect, TheFrame);
}

CGImageRef GWorld2CGImage(GWorldPtr TheGW) {
  PixMapHandle pixMap = GetGWorldPixMap(TheGW);
  const Rect bounds = GetPortRect(TheGW);
  CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
  CGContextRef context = CGBitmapContextCreate(
      GetPixBaseAddr(pixMap), size_t(bounds.right - bounds.left), size_t(bounds.bottom - bounds.top), 8,
      size_t(GetPixRowBytes(pixMap)), space, kCGImageAlphaPremultipliedFirst);
  Assert(context, PStr("Failed to create s CGContext on GWorld2CGImage"));
  CGColorSpaceRelease(space);
  CGImageRef image = CGBitmapContextCreateImage(context);
  CGContextRelease(context);
  return image;
}

void GetImageDims(CGImageRef TheImage, SInt32& Wid, SInt32& Hig) {
  Wid = SInt32(CGImageGetWidth(TheImage));
  Hig = SInt32(CGImageGetHeight(TheImage));
}
