#include "cli/commands.h"

namespace pelmira::cli {

const char* usage() {
    return "Uso:\n"
           "  pelmira-cli export XML [--workdir DIR] [--template CODIGO] [--language TEXTO]\n"
           "                         [--group-question si|no] [--prune-question si|no]\n"
           "                         [--report]\n"
           "      Reconstruye las tablas de trabajo de Horvex a partir de un archivo de ITACA.\n"
           "      Con --report, dice al final qué filas se han descartado, recortado o dejado\n"
           "      vacías, y por qué.\n"
           "  pelmira-cli check XML [--template CODIGO] [--language TEXTO]\n"
           "                        [--group-question si|no] [--prune-question si|no]\n"
           "      Hace la exportación en una carpeta temporal, sin tocar las tablas de trabajo,\n"
           "      y muestra el informe de lo que se descartaría, recortaría o dejaría vacío.\n"
           "  pelmira-cli import XML [--workdir DIR] [--template CODIGO] [--language TEXTO]\n"
           "                         [--report]\n"
           "      Convierte la solución de Horvex (SOLUC.DBF) en un documento de resultado\n"
           "      para ITACA, junto al archivo XML. Con --report, dice al final qué registros\n"
           "      no han dado línea o la han dado con valores vacíos, y por qué.\n"
           "  pelmira-cli dump TABLA.DBF [--csv]\n"
           "      Muestra los campos y los registros de una tabla dBase.\n"
           "\n"
           "Estado de salida: 0 completado, 1 error, 2 uso incorrecto, 3 falta la entrada.\n";
}

} // namespace pelmira::cli
