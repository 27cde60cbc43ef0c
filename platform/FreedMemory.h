#pragma once
// Handing memory the process freed back to the system, for a long-running process that has just
// let go of much of what it held: the allocator otherwise keeps freed pages that lie below live
// ones, and they stay resident.

namespace quillet {

// Returns the allocator's whole free pages to the system; nothing where it cannot.
void ReturnFreedMemoryToSystem();

}  // namespace quillet
