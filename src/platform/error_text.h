#pragma once

// The reason of a failed system call, as Spanish text for messages: the common cases from a table
// of our own, anything else as the system words it.

#include <string>

namespace pelmira::platform {

// The reason for a C library error number (errno, as fopen, fwrite or rename leave it): the common
// cases in Spanish ("no existe el archivo o la carpeta", "permiso denegado", "no queda espacio en
// el disco"...), any other as strerror() gives it; 0 is "error desconocido".
std::string errnoText(int err);

// The reason for an error code of the operating system itself, the code the calls of this layer
// fail with: errno on POSIX systems (then the same as errnoText), GetLastError() on Windows (the
// same Spanish table for the common codes, else the system's message in the user's language).
std::string systemErrorText(long code);

} // namespace pelmira::platform
