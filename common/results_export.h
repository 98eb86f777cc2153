#pragma once

#include <string>

#include "common/row_store.h"

// A whole list in the two results file formats (ResultsBuilder), ready for
// WriteFileAtomically. Callers pass a snapshot, so that the list may change
// while the file is written.
namespace verdigo {

std::string ResultsTextFileBytes(const RowStore& rows);
std::string ResultsCsvFileBytes(const RowStore& rows);

}  // namespace verdigo
