#include "script/Script.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "cg/CGContext.h"

namespace {

bool IsNumber(const std::string& w, bool integer) {
  if (w.empty()) return false;
  char* end = nullptr;
  if (integer)
    std::strtol(w.c_str(), &end, 10);
  else
    std::strtod(w.c_str(), &end);
  return *end == '\0';
}

bool OneOf(const std::string& w, std::initializer_list<const char*> choices) {
  for (const char* c : choices)
    if (w == c) return true;
  return false;
}

bool IsBlendName(const std::string& w) {
  for (const char* name : kCGBlendModeNames)
    if (w == name) return true;
  return false;
}

bool IsColour(std::string w) {
  if (!w.empty() && w[0] == '#') w.erase(0, 1);
  if (w.size() != 6) return false;
  for (char c : w)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// What is wrong with the action's arguments; empty when nothing is.
std::string Check(const ScriptAction& a) {
  const std::vector<std::string>& w = a.words;
  auto count = [&](size_t n) { return w.size() == n ? "" : a.verb + " takes " + std::to_string(n) + " argument" + (n == 1 ? "" : "s"); };
  if (OneOf(a.verb, {"picture-cancel", "whole-frame", "reset", "next", "previous", "colour-cancel", "about", "help", "ok",
                     "cancel"}))
    return count(0);
  if (a.verb == "picture" || a.verb == "screenshot") return w.size() == 1 && !w[0].empty() ? "" : a.verb + " needs a path";
  if (a.verb == "media") return w.size() == 1 && OneOf(w[0], {"ntsc", "pal", "hd"}) ? "" : "media is ntsc, pal or hd";
  if (a.verb == "rect") return w.size() == 1 && OneOf(w[0], {"start", "end"}) ? "" : "rect is start or end";
  if (a.verb == "key") return w.size() == 1 && OneOf(w[0], {"return", "escape"}) ? "" : "key is return or escape";
  if (a.verb == "keep-proportions") return w.size() == 1 && OneOf(w[0], {"on", "off"}) ? "" : "keep-proportions is on or off";
  if (a.verb == "slider" && w.size() == 2 && w[0] == "spin")
    return IsNumber(w[1], false) ? "" : "slider spin takes a number of turns, as 1.5";
  if (a.verb == "slider")
    return w.size() == 2 && OneOf(w[0], {"border", "opacity", "turn", "blur"}) && IsNumber(w[1], true)
               ? ""
               : "slider takes border, opacity, turn or blur and a whole number, or spin and a number of turns";
  if (a.verb == "smooth") return w.size() == 1 && OneOf(w[0], {"on", "off"}) ? "" : "smooth is on or off";
  if (a.verb == "easing")
    return w.size() == 1 && OneOf(w[0], {"linear", "ease-in", "ease-out", "ease-in-out"})
               ? ""
               : "easing is linear, ease-in, ease-out or ease-in-out";
  if (a.verb == "frame") return w.size() == 1 && IsNumber(w[0], true) && std::atol(w[0].c_str()) >= 0 ? "" : "frame takes a frame number";
  if (a.verb == "colour") return w.size() == 1 && IsColour(w[0]) ? "" : "colour takes RRGGBB in hexadecimal";
  if (a.verb == "blend") return w.size() == 1 && IsBlendName(w[0]) ? "" : "blend takes one of the 16 blend mode names";
  if (a.verb == "drag") {
    size_t numbers = 0;
    while (numbers < w.size() && IsNumber(w[numbers], false)) ++numbers;
    if (numbers < 4 || numbers % 2 != 0)
      return "drag takes X0 Y0 X1 Y1 (and more points), then optionally shift, option or shift-after-press";
    const double x0 = std::strtod(w[0].c_str(), nullptr), y0 = std::strtod(w[1].c_str(), nullptr);
    if (!(x0 >= 0 && x0 < 1 && y0 >= 0 && y0 < 1)) return "a drag starts inside the preview (fractions from 0 to below 1)";
    for (size_t k = numbers; k < w.size(); ++k)
      if (!OneOf(w[k], {"shift", "option", "shift-after-press"})) return "unknown drag modifier " + w[k];
    return "";
  }
  return "unknown action " + a.verb;
}

}  // namespace

bool EndsTheDialog(const ScriptAction& a) { return OneOf(a.verb, {"ok", "cancel", "key"}); }

bool ParseScript(const std::string& name, const std::string& text, Script& out, std::string& error) {
  Script script;
  script.name = name;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  for (; std::getline(in, line); ++number) {
    const size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    ScriptAction a;
    a.line = number + 1;
    if (!(words >> a.verb)) continue;
    if (!script.actions.empty() && EndsTheDialog(script.actions.back())) {
      error = name + ":" + std::to_string(a.line) + ": nothing can follow " + script.actions.back().verb;
      return false;
    }
    if (a.verb == "picture" || a.verb == "screenshot") {
      std::string rest;
      std::getline(words >> std::ws, rest);
      while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.back()))) rest.pop_back();
      if (!rest.empty()) a.words.push_back(rest);
    } else {
      for (std::string w; words >> w;) a.words.push_back(w);
    }
    const std::string wrong = Check(a);
    if (!wrong.empty()) {
      error = name + ":" + std::to_string(a.line) + ": " + wrong;
      return false;
    }
    script.actions.push_back(a);
  }
  if (script.actions.empty() || !EndsTheDialog(script.actions.back())) {
    error = name + ":" + std::to_string(number) + ": the script ends without ok or cancel";
    return false;
  }
  out = script;
  return true;
}

bool ReadScript(const std::string& path, Script& out, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot read the script " + path;
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  return ParseScript(path, text.str(), out, error);
}
