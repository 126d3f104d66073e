#pragma once
// The text rule of the log's scrub (ScrubLogFile in ActivityLog.h).

#include <cstddef>

// Makes each hex digit inside the removed-tag groups of the secured entries
// among text's lines ("Found and secured by ... [time]: <path?n;T(v,v,v);...>")
// a '0'; nothing else changes, not even the length. text must end at the end
// of a line. Returns the number of bytes changed.
size_t ZeroRemovedTagValues(char* text, size_t size);
