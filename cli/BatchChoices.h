// The batch command's choices of records, page names, folders and lists (--where,
// --name-template, --make-folders, --list, --list-output), made ready before the run.
#pragma once

#include <memory>
#include <string>

#include "cli/BatchOptions.h"
#include "cli/RunFindings.h"
#include "engine/GenerationRun.h"
#include "engine/RunChoices.h"
#include "settings/GeneratorSettings.h"

namespace velmora {

// Makes the run's choices from options into choices (nullptr when none was asked for), and with
// --make-folders and no dry run a missing output folder whose parent exists. False, with a
// one-line reason on standard error, when a condition is none (no "=" that starts a character) or
// the list template cannot be read or has not exactly one block of rows: nothing is then written.
bool PrepareRunChoices(const BatchOptions& options, const GeneratorSettings& settings,
                       std::unique_ptr<RunChoices>& choices);

// Puts choices (may be nullptr) and --make-folders into environment, protects the list template
// from every output, and tells findings when a name template names the files.
void UseRunChoices(const BatchOptions& options, RunChoices* choices, RunEnvironment& environment,
                   RunFindings& findings);

}  // namespace velmora
