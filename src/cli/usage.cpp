#include "cli/commands.h"

namespace pelmira::cli {

const char* usage() {
    return "Uso:\n"
           "  pelmira-cli export XML [--workdir DIR] [--template CODIGO] [--language TEXTO]\n"
           "                         [--group-question si|no] [--prune-question si|no]\n"
           "      Reconstruye las tablas de trabajo de Horvex a partir de un archivo de ITACA.\n"
           "  pelmira-cli import XML [--workdir DIR] [--template CODIGO] [--language TEXTO]\n"
           "      Convierte la solución de Horvex (SOLUC.DBF) en un documento de resultado\n"
           "      para ITACA, junto al archivo XML.\n"
           "  pelmira-cli dump TABLA.DBF [--csv]\n"
           "      Muestra los campos y los registros de una tabla dBase.\n"
           "\n"
           "Estado de salida: 0 completado, 1 error, 2 uso incorrecto, 3 falta la entrada.\n";
}

} // namespace pelmira::cli
