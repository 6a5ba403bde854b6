// The frei0r entry points: each hands its call to a FilterInstance.
extern "C" {
#include <frei0r.h>
}

#include <cstring>

#include "FilterInstance.h"
#include "GuestFailure.h"

extern "C" {

int f0r_init() {
  ShowAlertsAsLines();
  return 1;
}

void f0r_deinit() {}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
  info->name = "quorvel";
  info->author = "The Quorvel developers";
  info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
  info->color_model = F0R_COLOR_MODEL_RGBA8888;
  info->frei0r_version = FREI0R_MAJOR_VERSION;
  info->major_version = 1;
  info->minor_version = 0;
  info->num_params = kParameterCount;
  info->explanation =
      "Lays a picture over the video, stretched into a rectangle that glides from a start rectangle to an end "
      "rectangle, turned about its centre, framed by a border and blended with an opacity and a blend mode";
}

void f0r_get_param_info(f0r_param_info_t* info, int index) {
  if (index < 0 || index >= kParameterCount) return;
  const ParameterInfo& p = InfoOf(index);
  info->name = p.name;
  info->explanation = p.explanation;
  info->type = p.type == ParameterType::kString   ? F0R_PARAM_STRING
               : p.type == ParameterType::kColour ? F0R_PARAM_COLOR
               : p.type == ParameterType::kBool   ? F0R_PARAM_BOOL
                                                  : F0R_PARAM_DOUBLE;
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
  FilterInstance* instance = nullptr;
  Guarded([&] { instance = new FilterInstance(width, height); }, [] {});
  if (instance != nullptr && !instance->Ok()) {
    delete instance;
    return nullptr;
  }
  return instance;
}

void f0r_destruct(f0r_instance_t instance) {
  Guarded([&] { delete static_cast<FilterInstance*>(instance); }, [] {});
}

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
  if (instance == nullptr || param == nullptr || index < 0 || index >= kParameterCount) return;
  auto* filter = static_cast<FilterInstance*>(instance);
  Guarded([&] {
    switch (InfoOf(index).type) {
      case ParameterType::kString: filter->SetText(index, *static_cast<f0r_param_string*>(param)); break;
      case ParameterType::kColour: {
        const auto* c = static_cast<f0r_param_color_t*>(param);
        filter->SetColour(c->r, c->g, c->b);
        break;
      }
      case ParameterType::kDouble: case ParameterType::kBool:
        filter->SetDouble(index, *static_cast<f0r_param_double*>(param));
        break;
    }
  }, [] {});
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
  if (instance == nullptr || param == nullptr || index < 0 || index >= kParameterCount) return;
  const FilterSettings& s = static_cast<FilterInstance*>(instance)->Settings();
  auto* value = static_cast<f0r_param_double*>(param);
  switch (index) {
    case kPicture: *static_cast<f0r_param_string*>(param) = const_cast<char*>(s.picture.c_str()); break;
    case kPictureByItsEarlierName:
      *static_cast<f0r_param_string*>(param) = const_cast<char*>(s.earlierPicture.c_str());
      break;
    case kBlend: *static_cast<f0r_param_string*>(param) = const_cast<char*>(s.blendText.c_str()); break;
    case kEasing: *static_cast<f0r_param_string*>(param) = const_cast<char*>(s.easingText.c_str()); break;
    case kSmooth: *value = s.smooth ? 1 : 0; break;
    case kSpin: *value = s.spin; break;
    case kMotionBlur: *value = s.motionBlur; break;
    case kBorderColour: *static_cast<f0r_param_color_t*>(param) = {float(s.red), float(s.green), float(s.blue)}; break;
    case kStartLeft: *value = s.start.left; break;
    case kStartTop: *value = s.start.top; break;
    case kStartWidth: *value = s.start.width; break;
    case kStartHeight: *value = s.start.height; break;
    case kEndLeft: *value = s.end.left; break;
    case kEndTop: *value = s.end.top; break;
    case kEndWidth: *value = s.end.width; break;
    case kEndHeight: *value = s.end.height; break;
    case kStartTime: *value = s.startTime; break;
    case kEndTime: *value = s.endTime; break;
    case kBorder: *value = s.border; break;
    case kOpacity: *value = s.opacity; break;
    case kTurn: *value = s.turn; break;
  }
}

void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe, uint32_t* outframe) {
  if (instance == nullptr) return;
  auto* filter = static_cast<FilterInstance*>(instance);
  Guarded([&] { filter->Update(time, inframe, outframe); }, [&] {
    // The frame goes on as it came.
    if (inframe != nullptr && outframe != nullptr && inframe != outframe)
      std::memcpy(outframe, inframe, size_t(filter->Width()) * filter->Height() * 4);
  });
}

}  // extern "C"
