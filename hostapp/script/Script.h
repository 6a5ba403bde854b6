// Scripts of a person's actions on the configuration dialog, one action a
// line ('#' starts a comment):
//   picture PATH | picture-cancel | media ntsc|pal|hd | rect start|end
//   keep-proportions on|off | whole-frame | reset | next | previous
//   drag X0 Y0 X1 Y1 [X2 Y2 ...] [shift] [option] [shift-after-press]
//   slider border|opacity|turn VALUE | frame N | colour RRGGBB | colour-cancel
//   blend NAME | screenshot PATH.png | about | help | ok | cancel | key return|escape
// Drag coordinates are fractions of the preview's width and height from its
// top-left corner (pixel = floor(fraction x size)); the mouse goes from point
// to point in ten steps each, and may leave the preview after the press. The
// modifiers are held from the press, or shift only from the first move. A
// script ends with what ends the dialog: ok, cancel, or the key return or
// escape pressed in it.
#pragma once

#include <string>
#include <vector>

struct ScriptAction {
  int line = 0;
  std::string verb;
  std::vector<std::string> words;  // the arguments; a path is one word, spaces and all
};

struct Script {
  std::string name;  // for messages: "name:line: ..."
  std::vector<ScriptAction> actions;
};

// Checks every line before anything is played. False with a one-line
// `error` naming the line for an unknown action, a bad argument, or a
// script that does not end with ok or cancel.
// ok, cancel, and the keys that press them.
bool EndsTheDialog(const ScriptAction& action);
bool ParseScript(const std::string& name, const std::string& text, Script& out, std::string& error);
bool ReadScript(const std::string& path, Script& out, std::string& error);
