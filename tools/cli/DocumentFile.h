// DocumentFile: loading a document from a file and writing it to a file or
// to standard output, reporting failures with the call log.
#pragma once

#include <string>

#include "tarvex/tarvex.hpp"

namespace tarvex_cli {

struct Options;

// Prints "tarvex: <message>" and the object's call log on standard error.
void reportFailure(const tarvex::Tarvex& object, const std::string& message);
// Prints the object's call log on standard error when -v was given.
void traceLog(const Options& options, const tarvex::Tarvex& object, const char* step);

// Loads `path` into `doc`; on failure reports it and returns false. Large
// files show a status line while they load (on a terminal only).
bool loadDocument(const Options& options, tarvex::Tarvex& doc, const std::string& path);

// Writes the document (in its declared encoding, through SaveXml) to `path`,
// or to standard output when `path` is "-".
bool saveDocument(const Options& options, tarvex::Tarvex& doc, const std::string& path);

}  // namespace tarvex_cli
