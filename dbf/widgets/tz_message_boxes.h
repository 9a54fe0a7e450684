#pragma once

#include <string>

// The dataset layer reports without windows; a program that has them shows
// its reports in boxes through these functions, installed with
// TTzODbf::setHaltReporter and TTzODbf::setMessageReporter.
namespace tzboxes {

// The "Program halted." error box with the engine's code and text, then the
// end of the program with the code as exit code. Has the engine's halt
// reporter signature, so a program can wrap it (do something first, then
// call it).
void haltBox(int code, const std::string& text);

// One of the dataset layer's notices in an information box captioned with
// the application's display name.
void noticeBox(const std::string& text);

} // namespace tzboxes
