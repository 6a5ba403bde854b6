#include "FilterInstance.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "ByteTurns.h"
#include "common/commonprocs.h"
#include "corefoundation/CFURL.h"
#include "effect/relrects.h"
#include "files/EasyFile.h"
#include "imageio/ImageIO.h"
#include "render/CGglue.h"
#include "render/callpixelfx.h"
#include "render/lineEffect.h"

namespace {

// The render core keeps process-wide state (the current port, its memory
// and image bookkeeping): instances on several host threads take turns.
std::mutex& CoreMutex() {
  static std::mutex mutex;
  return mutex;
}

// The tween runs over whole steps of a thousandth of the host's time unit
// (a microsecond in FFmpeg, a millisecond in melt).
constexpr double kStepsPerUnit = 1000;

SInt32 Steps(double span) {
  return SInt32(std::lround(std::clamp(span * kStepsPerUnit, 0.0, 2147483647.0)));
}

RelRect RelOf(const FrameBox& box) { return {box.left, box.left + box.width, box.top, box.top + box.height}; }

UInt16 Channel(double fraction) { return UInt16(std::lround(std::clamp(fraction, 0.0, 1.0) * 65535)); }

}  // namespace

FilterInstance::FilterInstance(unsigned width, unsigned height) : width_(width), height_(height) {
  if (width == 0 || height == 0 || width > 32767 || height > 32767) return;
  std::lock_guard<std::mutex> lock(CoreMutex());
  frame_ = AllocateRectGWorld(Rect{0, 0, SInt16(height), SInt16(width)});
}

FilterInstance::~FilterInstance() {
  std::lock_guard<std::mutex> lock(CoreMutex());
  if (picture_.TheOriginalImage) CGImageRelease(picture_.TheOriginalImage);
  if (picture_.TheRendered) CGImageRelease(picture_.TheRendered);
  if (frame_) DisposeGWorld(frame_);
}

void FilterInstance::SetDouble(int parameter, double value) {
  value = AcceptedDouble(parameter, value);
  FrameBox* box = parameter <= kStartHeight ? &settings_.start : &settings_.end;
  switch (parameter) {
    case kStartLeft: case kEndLeft: box->left = value; break;
    case kStartTop: case kEndTop: box->top = value; break;
    case kStartWidth: case kEndWidth: box->width = value; break;
    case kStartHeight: case kEndHeight: box->height = value; break;
    case kStartTime: settings_.startTime = value; break;
    case kEndTime: settings_.endTime = value; break;
    case kBorder:
      borderStale_ |= value != settings_.border;
      settings_.border = value;
      break;
    case kOpacity: settings_.opacity = value; break;
    case kTurn: settings_.turn = value; break;
    case kSmooth: settings_.smooth = value > 0.5; break;
    case kSpin: settings_.spin = value; break;
    case kMotionBlur: settings_.motionBlur = value; break;
    default: break;
  }
}

void FilterInstance::SetColour(double red, double green, double blue) {
  const double r = std::isnan(red) ? 1 : red, g = std::isnan(green) ? 1 : green, b = std::isnan(blue) ? 1 : blue;
  borderStale_ |= r != settings_.red || g != settings_.green || b != settings_.blue;
  settings_.red = r, settings_.green = g, settings_.blue = b;
}

void FilterInstance::SetText(int parameter, const char* text) {
  const std::string value = text ? text : "";
  if (parameter == kPicture || parameter == kPictureByItsEarlierName) {
    // Hosts such as melt set every parameter before every frame: only a new
    // path is read again.
    const std::string before = settings_.Picture();
    (parameter == kPicture ? settings_.picture : settings_.earlierPicture) = value;
    pictureStale_ |= settings_.Picture() != before;
  } else if (parameter == kEasing && value != settings_.easingText) {
    settings_.easingText = value;
    settings_.easing = EasingNumber(value.c_str());
    if (settings_.easing == 0) {
      std::fprintf(stderr, "quorvel: no easing \"%s\"; gliding linearly\n", value.c_str());
      settings_.easing = cEaseLinear;
    }
  } else if (parameter == kBlend && value != settings_.blendText) {
    settings_.blendText = value;
    settings_.blend = BlendNumber(value);
    if (settings_.blend == 0) {
      std::fprintf(stderr, "quorvel: no blend mode \"%s\"; drawing with normal\n", value.c_str());
      settings_.blend = 1;
    }
  }
}

// Reads the picture when its path changed, and frames it when it or the
// border changed; never per frame.
void FilterInstance::PreparePicture() {
  if (pictureStale_) {
    pictureStale_ = false;
    borderStale_ = true;
    if (picture_.TheOriginalImage) CGImageRelease(picture_.TheOriginalImage);
    picture_.TheOriginalImage = nullptr;
    const std::string& path = settings_.Picture();
    if (!path.empty()) {
      CFURLRef url = CFURLCreateWithFileSystemPath(kCFAllocatorDefault, path);
      picture_.TheOriginalImage = url ? GetCGImageFromURLUsingCG(url) : nullptr;
      if (url) CFRelease(url);
      if (picture_.TheOriginalImage == nullptr)
        std::fprintf(stderr, "quorvel: cannot read the picture %s: %s; frames pass unchanged\n", path.c_str(),
                     ImageImportFailure().c_str());
    }
  }
  if (borderStale_) {
    borderStale_ = false;
    picture_.Sliders[1] = SInt16(std::lround(settings_.border * 100));
    picture_.Colors[1] = {Channel(settings_.red), Channel(settings_.green), Channel(settings_.blue)};
    RenderLineArt(&picture_);  // releases the earlier framed picture; none without a picture
  }
}

// The glide between the host's times: counted in thousandths of its unit
// when not smooth, as the rectangles have always stepped; exact when smooth.
MotionDrawing FilterInstance::MotionAt(double time) {
  MotionDrawing m{};
  m.picture = picture_.TheRendered;
  m.from = RelOf(settings_.start);
  m.to = RelOf(settings_.end);
  const double start = settings_.startTime, end = settings_.endTime;
  // The shutter's unit: the time between the frames the host passes, in
  // order; until two have come, 1/25 s.
  const double step = time - lastTime_;
  if (haveLastTime_ && step > 0) frameTime_ = step;
  lastTime_ = time;
  haveLastTime_ = true;
  if (settings_.smooth) {
    m.position = time - start;
    m.span = end - start;
    m.frameTime = frameTime_;
  } else {
    // Before the start the start, at or past the end the end, as before.
    m.span = end > start ? Steps(end - start) : 0;
    m.position = !(time > start) ? 0 : end > start && time < end ? Steps(time - start) : m.span + 1;
    m.frameTime = frameTime_ * kStepsPerUnit;
  }
  m.turn = std::fmod(settings_.turn, 1.0);
  m.opacity = settings_.opacity;
  m.blendMode = SInt16(settings_.blend - 1);
  m.smooth = settings_.smooth;
  m.easing = SInt16(settings_.easing);
  m.spin = settings_.spin;
  m.shutter = settings_.motionBlur;
  return m;
}

void FilterInstance::Update(double time, const std::uint32_t* in, std::uint32_t* out) {
  if (frame_ == nullptr || in == nullptr || out == nullptr) return;
  std::lock_guard<std::mutex> lock(CoreMutex());
  PreparePicture();
  const MotionDrawing motion = MotionAt(time);
  const Rect box = MotionBox(motion, GetPortRect(frame_));
  if (picture_.TheRendered == nullptr || box.left >= box.right) {
    if (in != out) std::memcpy(out, in, size_t(width_) * height_ * 4);
    return;
  }
  const std::vector<RowColumns> rows = MotionRowColumns(motion, GetPortRect(frame_), box);
  ReadFrame(in, box, rows);
  DrawPictureInMotion(frame_, motion);
  WriteFrame(in, out, box, rows);
}

namespace {

// A straight R,G,B,A pixel as the core's premultiplied A,R,G,B.
inline std::uint32_t Premultiplied(std::uint32_t rgba) {
  UInt8 p[4];
  const std::uint32_t argb = ToARGB(rgba);
  std::memcpy(p, &argb, 4);
  for (int c = 1; c < 4; ++c) p[c] = UInt8((p[c] * p[0] + 127) / 255);
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

}  // namespace

// The core draws on premultiplied A,R,G,B; hosts hand straight R,G,B,A.
void FilterInstance::ReadFrame(const std::uint32_t* in, const Rect& box, const std::vector<RowColumns>& rows) {
  PixMapHandle pixMap = GetGWorldPixMap(frame_);
  auto* base = reinterpret_cast<UInt8*>(GetPixBaseAddr(pixMap));
  const size_t rowBytes = size_t(GetPixRowBytes(pixMap));
  std::uint32_t all = ~0u;  // every pixel's bits and-ed: its alpha byte is 255 only if all are
  for (unsigned y = unsigned(box.top); y < unsigned(box.bottom); ++y) {
    const RowColumns& c = rows[y - unsigned(box.top)];
    auto* row = reinterpret_cast<std::uint32_t*>(base + y * rowBytes);
    const std::uint32_t* from = in + size_t(y) * width_;
    all &= HostToCore(from + c.from, row + c.from, unsigned(c.to - c.from));
  }
  UInt8 bytes[4];
  std::memcpy(bytes, &all, 4);
  opaque_ = bytes[0] == 0xFF;
  if (opaque_) return;
  for (unsigned y = unsigned(box.top); y < unsigned(box.bottom); ++y) {
    const RowColumns& c = rows[y - unsigned(box.top)];
    auto* row = reinterpret_cast<std::uint32_t*>(base + y * rowBytes);
    const std::uint32_t* from = in + size_t(y) * width_;
    for (int x = c.from; x < c.to; ++x) row[x] = Premultiplied(from[x]);
  }
}

void FilterInstance::WriteFrame(const std::uint32_t* in, std::uint32_t* out, const Rect& box,
                                const std::vector<RowColumns>& rows) const {
  PixMapHandle pixMap = GetGWorldPixMap(frame_);
  const auto* base = reinterpret_cast<const UInt8*>(GetPixBaseAddr(pixMap));
  const size_t rowBytes = size_t(GetPixRowBytes(pixMap));
  // The pixels the drawing cannot touch, as they came.
  if (in != out) {
    for (unsigned y = 0; y < height_; ++y) {
      const size_t first = size_t(y) * width_;
      if (y < unsigned(box.top) || y >= unsigned(box.bottom)) {
        std::memcpy(out + first, in + first, size_t(width_) * 4);
        continue;
      }
      const RowColumns& c = rows[y - unsigned(box.top)];
      std::memcpy(out + first, in + first, size_t(c.from) * 4);
      std::memcpy(out + first + c.to, in + first + c.to, size_t(width_ - unsigned(c.to)) * 4);
    }
  }
  // Over an opaque frame every blend leaves it opaque.
  if (opaque_) {
    for (unsigned y = unsigned(box.top); y < unsigned(box.bottom); ++y) {
      const RowColumns& c = rows[y - unsigned(box.top)];
      const auto* row = reinterpret_cast<const std::uint32_t*>(base + y * rowBytes);
      std::uint32_t* to = out + size_t(y) * width_;
      CoreToHost(row + c.from, to + c.from, unsigned(c.to - c.from));
    }
    return;
  }
  // Otherwise the pixels the picture left alone keep their exact straight
  // colours, and the others go back to straight alpha.
  for (unsigned y = unsigned(box.top); y < unsigned(box.bottom); ++y) {
    const RowColumns& c = rows[y - unsigned(box.top)];
    const auto* row = reinterpret_cast<const std::uint32_t*>(base + y * rowBytes);
    const size_t first = size_t(y) * width_;
    for (int x = c.from; x < c.to; ++x) {
      const std::uint32_t source = in[first + x];
      if (row[x] == Premultiplied(source)) {
        out[first + x] = source;
        continue;
      }
      UInt8 p[4];
      const std::uint32_t v = ToRGBA(row[x]);
      std::memcpy(p, &v, 4);
      const unsigned a = p[3];
      for (int k = 0; k < 3; ++k) p[k] = a == 0 ? 0 : UInt8(std::min(255u, (p[k] * 255u + a / 2) / a));
      std::memcpy(&out[first + x], p, 4);
    }
  }
}
