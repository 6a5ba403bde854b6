// Plays a script on the configuration dialog as a person would: it finds the
// dialog's windows and widgets on the screen (controls by their control IDs)
// and sends them real mouse and keyboard events, from the event loop that
// is running, the dialog's modal loops included. It never calls into the
// plug-in.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "script/Script.h"

class ScriptPlayer {
 public:
  explicit ScriptPlayer(const Script& script);
  ~ScriptPlayer();
  ScriptPlayer(const ScriptPlayer&) = delete;
  ScriptPlayer& operator=(const ScriptPlayer&) = delete;
  // Starts playing once the event loop runs; the first action waits for the dialog.
  void Start();
  // Called after every step the player takes, for whoever watches the screen.
  void Watch(std::function<void()> watch);
  bool Finished() const;
  // Empty when the script played through; otherwise "script:line: why", and
  // the dialog has been cancelled.
  const std::string& Error() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
