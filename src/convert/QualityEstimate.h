#pragma once
// The size of a constant-quality output can't be computed from bit rates: it is measured by
// encoding three 2-second samples spread over the entry's clip range with the entry's settings
// (into a private temporary folder, removed afterwards) and scaling their bytes to the whole
// length. Takes a few seconds: call it off the user-interface thread. It needs the media
// libraries loaded (the program loads them at start-up).

#include <QtGlobal>

class ListFileInfo;

// Whether the entry's output is sized by constant quality (the list shows "~" until measured).
bool NeedsQualityEstimate(const ListFileInfo& entry);
// Estimated output bytes, -1 when the samples could not be encoded.
qint64 EstimateQualitySize(const ListFileInfo& entry);
