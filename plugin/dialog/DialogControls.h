// The configuration dialog's controls and commands as its interface files
// name them: a control is found by its signature and number, a button or
// pop-up sends its command. The tests check the interface files against
// these, and the host's script player finds the controls by them.
#pragma once

#include "MacTypes.h"
#include "cg/CGContext.h"

constexpr OSType cClipSig = FOUR_CHAR_CODE("Clip");         // 1: the clip preview
constexpr OSType cColorSig = FOUR_CHAR_CODE("Colr");        // 1-6: colour boxes
constexpr OSType cColorLegendSig = FOUR_CHAR_CODE("CLgd");  // 1-6: their captions
constexpr OSType cSliderSig = FOUR_CHAR_CODE("Sldr");       // 1-6: border, opacity, turn, unused
constexpr OSType cLegendSig = FOUR_CHAR_CODE("Lgnd");       // 1-6: the sliders' values
constexpr OSType cLabelSig = FOUR_CHAR_CODE("Labl");        // 4-6: captions of the unused sliders
constexpr OSType cClipSliderSig = FOUR_CHAR_CODE("ClpS");   // 1: the frame shown
constexpr OSType cClipMarkSig = FOUR_CHAR_CODE("ClpM");     // 1: "12/149"
constexpr OSType cMediaSig = FOUR_CHAR_CODE("Medi");        // 1: NTSC, PAL, HD
constexpr OSType cRectSig = FOUR_CHAR_CODE("Rect");         // 1: start or end rectangle
constexpr OSType cPropSig = FOUR_CHAR_CODE("Prop");         // 1: keep proportions
constexpr OSType cPictSig = FOUR_CHAR_CODE("Pict");         // 1: the picture box
constexpr OSType cBlendSig = FOUR_CHAR_CODE("Blnd");        // 1: blend mode
constexpr OSType cSmoothSig = FOUR_CHAR_CODE("Smth");       // 1: smooth glide
constexpr OSType cEasingSig = FOUR_CHAR_CODE("Ease");       // 1: easing, as numbered
constexpr OSType cSpinSig = FOUR_CHAR_CODE("Spin");         // 1: spin, hundredths of a turn
constexpr OSType cSpinLegendSig = FOUR_CHAR_CODE("SpnL");   // 1: "1.50"
constexpr OSType cBlurSig = FOUR_CHAR_CODE("MBlr");         // 1: motion blur, percent of a frame
constexpr OSType cBlurLegendSig = FOUR_CHAR_CODE("BlrL");   // 1: "50%"

// Commands of the buttons (the controls above send their own signature).
constexpr const char* cCmdOK = "ok  ";
constexpr const char* cCmdCancel = "not!";
constexpr const char* cCmdAbout = "Info";
constexpr const char* cCmdReset = "Rset";
constexpr const char* cCmdWholeFrame = "Sall";
constexpr const char* cCmdHelp = "Help";
constexpr const char* cCmdNext = "Adva";
constexpr const char* cCmdPrevious = "Revi";
// The commands of the controls that send their own signature.
constexpr const char* cCmdMedia = "Medi";
constexpr const char* cCmdRect = "Rect";
constexpr const char* cCmdProp = "Prop";
constexpr const char* cCmdPict = "Pict";
constexpr const char* cCmdBlend = "Blnd";
constexpr const char* cCmdSmooth = "Smth";
constexpr const char* cCmdEasing = "Ease";

// Classes of the custom controls, as the interface files name them.
constexpr const char* cColorBoxClassID = "net.quorvel.moving.color";
constexpr const char* cClipCtrlClassID = "net.quorvel.moving.clip";
constexpr const char* cPictureClassID = "net.quorvel.moving.imageCTRL";

// The blend pop-up's items, in the order of the blend modes they stand for.
constexpr int cBlendModeCount = kCGBlendModeNameCount;
constexpr const char* const* cBlendModeNames = kCGBlendModeNames;

// The dialog's window for a media type; any other type has the first.
constexpr const char* cMediaWindows[3] = {"configNTSC", "configPAL", "configHD"};
