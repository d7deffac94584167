// The settings of a batch run: the settings file read and checked once, the options over it; and
// the new settings file of --init.
#pragma once

#include <optional>
#include <string>

#include "cli/BatchOptions.h"
#include "settings/GeneratorSettings.h"

namespace velmora {

// The settings that options give a run: those of options.settingsFile (read once, as the window
// reads it, with a line on standard error for each thing in it that the run does not take as
// written), or the defaults when none is given, with the setting options over them. Nothing, with
// the reason on standard error, when the settings file cannot be read, is no regular file or is
// larger than kMaxSettingsFileBytes.
std::optional<GeneratorSettings> LoadBatchSettings(const BatchOptions& options);

// Replays the [Batch] section of options.settingsFile (BatchRecipe.h) into options, for each
// option of the recipe that the command line did not give. False, with a line naming the file,
// the section and the key on standard error, at a value that its option does not take; a file
// that cannot be read is left to LoadBatchSettings, which says why.
bool LoadBatchRecipe(BatchOptions& options);

// Writes a new settings file with the defaults changed by the setting options, and the recipe's
// options given in its [Batch] section, each value stored so that reading gives it back as
// given; an existing file is never replaced, and a device is never written to, nor a value that
// no settings file can hold. Returns whether it was written; else the reason is on standard
// error.
bool InitSettingsFile(const std::string& path, const BatchOptions& options);

}  // namespace velmora
