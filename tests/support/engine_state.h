// The program-wide state a run reads (cancel flag, run options, catalogue
// selection and external image), back to its start values, so that no test
// depends on the one before it.
#pragma once

#include "catalogue.h"
#include "link.h"
#include "run_options.h"

namespace zorvik::testing {

inline void resetEngineState() {
  CancelRequested = false;
  OptCheckClass = OptCheckFirmwareClass = OptCheckPlatform = true;
  ReadInfoOnly = false;
  SelectedImage = -1;
  ExternalImageLines.clear();
  ExternalImageHeader = {};
}

}  // namespace zorvik::testing
