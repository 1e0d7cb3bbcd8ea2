#pragma once

// Pictures are read, drawn and stored in buffers of a few megabytes, one
// after another. Left to itself the allocator hands each back to the system
// and takes fresh memory for the next, and every fresh page of it costs a
// fault: about half the time of reading a library's pictures. Buffers up to a
// whole 32-megapixel grey page come from the heap instead, and up to 64 MB of
// freed heap is kept for the next. Called once, at the start of a program.
void keepPictureBuffersForReuse();
