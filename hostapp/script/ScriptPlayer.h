// Plays a script on the configuration dialog as a person would: it finds the
// dialog's windows and widgets on the screen (controls by their control IDs)
// and sends them real mouse and keyboard events, from the event loop that
// is running, the dialog's modal loops included. It never calls into the
// plug-in.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "script/Hand.h"
#include "script/Script.h"

// How long a whole script may take before the player gives up on it: a
// script that is truly stuck ends there, however slow the machine is.
constexpr double kDefaultScriptTimeout = 600;

struct PlayOptions {
  InputMode input = InputMode::Qt;
  double timeoutSeconds = kDefaultScriptTimeout;  // 0: no limit
};

class ScriptPlayer {
 public:
  explicit ScriptPlayer(const Script& script, PlayOptions options = {});
  ~ScriptPlayer();
  ScriptPlayer(const ScriptPlayer&) = delete;
  ScriptPlayer& operator=(const ScriptPlayer&) = delete;
  // Starts playing once the event loop runs; the first action waits for the
  // dialog. False, with Error() set, when the hand cannot be had.
  bool Start();
  // Called each time a step of the player has been handled and the screen
  // shows what it drew, for whoever watches the screen.
  void Watch(std::function<void()> watch);
  bool Finished() const;
  // Empty when the script played through; otherwise "script:line: why", and
  // the dialog has been cancelled.
  const std::string& Error() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
