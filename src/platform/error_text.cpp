#include "platform/error_text.h"

#include <cerrno>
#include <cstring>

namespace pelmira::platform {

std::string errnoText(int err) {
    switch (err) {
    case 0:
        return "error desconocido";
    case ENOENT:
        return "no existe el archivo o la carpeta";
    case EACCES:
    case EPERM:
        return "permiso denegado";
    case ENOTDIR:
        return "una parte de la ruta no es una carpeta";
    case EISDIR:
        return "es una carpeta";
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return "no queda espacio en el disco";
    case EROFS:
        return "el sistema de archivos es de solo lectura";
    case ENAMETOOLONG:
        return "el nombre es demasiado largo";
    case EBUSY:
    case ETXTBSY:
        return "el archivo está en uso";
    case EIO:
        return "error de entrada/salida";
    default:
        return std::strerror(err);
    }
}

} // namespace pelmira::platform
