// --prune after a run: the files that earlier pruning runs wrote and this one did not are removed
// from the output folder (OutputPrune.h), the run log names each, standard error what was kept,
// and the folder's list is written anew.
#pragma once

#include <string>

#include "engine/PruneManifest.h"
#include "settings/GeneratorSettings.h"

namespace velmora {

// Prunes the output folder of settings after a run that wrote the files in written: when the run
// completed, removes what the folder's list names and written does not ("path -> removed" lines
// appended to runLog; with dryRun "path -> would be removed" and nothing removed, the list
// untouched), then writes the new list. A run that did not complete removes nothing and says so.
// Returns false, with the reason on standard error, when the new list could not be written.
bool PruneAfterRun(const GeneratorSettings& settings, const WrittenFiles& written, bool completed,
                   bool dryRun, std::string& runLog);

}  // namespace velmora
