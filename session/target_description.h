// What an update is about to overwrite, said before the user is asked (on
// the command line and in both windows alike): the logger on a port as it
// tells itself without leaving its application.
#pragma once

#include <string>

#include "engine/logger_identity.h"
#include "images/catalogue.h"

namespace zorvik::session {

// "/dev/ttyUSB0: ZorvikB, serial number 100200, version 6.14 -> 6.26 (the
// newest image for its class)". The image version is the newest the source
// holds for the logger's class: which one fits its platform and print only
// its bootloader tells, after the question. A logger that did not answer,
// or sits in its bootloader, is said to be so; so is a port name left blank
// (nothing could be asked).
std::string describeTarget(const std::string& port, const engine::LoggerIdentity& id,
                           const images::ImageSource& images);

// Nothing but blanks in the port box: there is no logger to ask.
bool portLeftBlank(const std::string& port);

}  // namespace zorvik::session
