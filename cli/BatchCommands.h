// The batch command's job beside a run: showing one record's filled template.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/GenerationRun.h"
#include "settings/GeneratorSettings.h"

namespace velmora {

enum class PreviewResult {
  Written,        // the filled template went to the stream
  NoSuchRecord,   // the input holds fewer records
  InputFailed,    // the input file could not be opened
  TemplateFailed,  // the template could not be opened or read
  Stopped          // the check of the header's columns, or the inspector, ended the run
};

// Runs the run's own way (GenerationRun, on one thread) up to record recordNumber (counted from
// 1 as a run counts), keeps that record's filled template instead of writing its file, and writes
// it to out; opens no file for writing, and every check of the run (environment's header check
// and inspector, its line ends) sees the records up to it. failure receives the message of every
// result but Written and Stopped: the run's own failure text, or how many records the input
// holds. A read error of the input raises platform::FileError; memory running out raises
// std::bad_alloc.
PreviewResult PreviewRecord(const GeneratorSettings& settings, std::uint32_t recordNumber,
                            std::FILE* out, std::string& failure,
                            const RunEnvironment& environment = {});

}  // namespace velmora
