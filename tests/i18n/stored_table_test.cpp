// The stored table holds exactly the program's texts and their Spanish translations, in the
// stored order the lookup depends on.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "tests/support/window_description.h"

namespace {

const std::map<std::wstring, std::wstring> kSpanish = {
    {L"Boot and disinfect any computer with your USB drive",
     L"Arranca y desinfecta cualquier equipo con tu USB"},
    {L"Close", L"Cerrar"},
    {L"Could not install the rescue USB drive",
     L"No se ha instalado el an\u00e1lisis autoarrancable"},
    {L"Create Tovix Scourlet rescue USB drive",
     L"Asistente para el USB de an\u00e1lisis de Tovix Scourlet"},
    {L"Create rescue USB drive", L"Crear USB de an\u00e1lisis"},
    {L"Creating rescue USB drive", L"Creando an\u00e1lisis autoarrancable en USB"},
    {L"Downloading", L"Descargando"},
    {L"Error", L"Error"},
    {L"Insert a USB drive into your PC", L"Introduce una llave USB en tu PC"},
    {L"Install the rescue USB drive", L"Instala el an\u00e1lisis autoarrancable en USB"},
    {L"Install", L"Instalar"},
    {L"Installing the rescue USB drive", L"Creando an\u00e1lisis autoarrancable en USB"},
    {L"No removable USB drive detected", L"No se ha detectado ninguna unidad USB"},
    {L"Now you can boot up any computer from your USB drive and remove any viruses that may be "
     L"blocking it or causing unwanted behaviours.",
     L"Ahora puedes arrancar cualquier PC con tu llave USB y eliminar cualquier virus que te "
     L"est\u00e9 impidiendo el acceso al equipo o que est\u00e9 provocando comportamientos "
     L"indeseados."},
    {L"Once created, you will be able to boot your PC from the USB drive and remove any viruses "
     L"that may be found on its hard disks.",
     L"Una vez creado, podr\u00e1s arrancar tu PC desde la llave USB y eliminar cualquier virus "
     L"que se encuentre en sus discos duros."},
    {L"Please wait while the rescue USB drive is created. This may take a few minutes.",
     L"Por favor, espera mientras se crea el an\u00e1lisis autoarrancable en tu llave USB. Este "
     L"proceso puede tardar unos minutos."},
    {L"Progress", L"Progreso"},
    {L"Refresh", L"Actualizar"},
    {L"Rescue USB drive created correctly", L"USB de an\u00e1lisis generado correctamente"},
    {L"Select the USB drive from which to boot and disinfect your PC.",
     L"Selecciona la unidad USB con la que quieres arrancar tu PC y eliminar cualquier virus "
     L"que se encuentre en el PC"},
    {L"Start", L"Comenzar"},
    {L"Steps: insert a USB drive, create the rescue drive, boot from it",
     L"Pasos: introduce una llave USB, crea el USB de an\u00e1lisis y arranca con \u00e9l"},
    {L"Stop creating the rescue USB drive?",
     L"\u00bfDejar de crear el USB de an\u00e1lisis autoarrancable?"},
    {L"Success", L"Correcto"},
    {L"The rescue USB drive is not finished. Stop now and discard what was downloaded?",
     L"El USB de an\u00e1lisis autoarrancable no est\u00e1 terminado. \u00bfParar ahora y "
     L"descartar lo descargado?"},
    {L"There was an error trying to create the rescue USB drive. Please try again.",
     L"Se ha producido un error y no se ha podido crear el USB de an\u00e1lisis "
     L"autoarrancable. Por favor, int\u00e9ntalo de nuevo."},
    {L"USB drive", L"Unidad USB"},
    {L"USB drive selection", L"Selecciona unidad USB"},
    {L"USB stick", L"Llave USB"},
    // The error page's reason lines and its pointer to the build's log.
    {L"Details in {path}", L"Detalles en {path}"},
    {L"Download: the download of {file} failed.", L"Descarga: no se ha podido descargar {file}."},
    {L"Download: the download of {file} was cut off.",
     L"Descarga: la descarga de {file} se ha cortado."},
    {L"Download: the server did not send {file} (status {status}).",
     L"Descarga: el servidor no ha enviado {file} (estado {status})."},
    {L"Download: the server could not be reached.",
     L"Descarga: no se ha podido conectar con el servidor."},
    {L"Download: {file} could not be saved.", L"Descarga: no se ha podido guardar {file}."},
    {L"Download: there is not enough free space for {file}.",
     L"Descarga: no hay suficiente espacio libre para {file}."},
    {L"Download: {file} is larger than expected.",
     L"Descarga: {file} es m\u00e1s grande de lo esperado."},
    {L"Installing: another build is running.",
     L"Instalaci\u00f3n: ya se est\u00e1 creando otro USB de an\u00e1lisis."},
    {L"Installing: the installer could not start.",
     L"Instalaci\u00f3n: no se ha podido iniciar el instalador."},
    {L"Installing: the installer failed (code {code}).",
     L"Instalaci\u00f3n: el instalador ha fallado (c\u00f3digo {code})."},
    {L"Installing: the installer is missing from the archives.",
     L"Instalaci\u00f3n: el instalador no est\u00e1 en los archivos descargados."},
    {L"Installing: the installer is not authentic.",
     L"Instalaci\u00f3n: el instalador no es aut\u00e9ntico."},
    {L"Preparing: the working folder could not be made ready.",
     L"Preparaci\u00f3n: no se ha podido preparar la carpeta de trabajo."},
    {L"The build was stopped.", L"Se ha detenido la creaci\u00f3n del USB de an\u00e1lisis."},
    {L"Unpacking: not enough free space on {volume}.",
     L"Descompresi\u00f3n: no hay espacio libre suficiente en {volume}."},
    {L"Unpacking: the archive {file} is damaged.",
     L"Descompresi\u00f3n: el archivo {file} est\u00e1 da\u00f1ado."},
    {L"Unpacking: the archive {file} asks for too much work.",
     L"Descompresi\u00f3n: el archivo {file} exige demasiado trabajo."},
    {L"Unpacking: not enough memory to unpack {file}.",
     L"Descompresi\u00f3n: no hay memoria suficiente para descomprimir {file}."},
    {L"Download: the download of {file} is not authentic.",
     L"Descarga: la descarga de {file} no es aut\u00e9ntica."},
    {L"Download: the rescue system is older than the one already used on this computer.",
     L"Descarga: el sistema de rescate es m\u00e1s antiguo que el que ya se ha usado en este "
     L"equipo."},
    {L"Unpacking: the extraction library could not be loaded.",
     L"Descompresi\u00f3n: no se ha podido cargar la biblioteca de extracci\u00f3n."},
    {L"Unpacking: {entry} could not be written.",
     L"Descompresi\u00f3n: no se ha podido escribir {entry}."},
    {L"Unpacking: {file} was refused to protect this computer, because of its entry {entry}",
     L"Descompresi\u00f3n: se ha rechazado {file} para proteger este equipo, por su elemento "
     L"{entry}"},
    // The drive list's notes on a drive and the drive page's advice about one it cannot use.
    {L"USB disk", L"Disco USB"},
    {L"no medium", L"sin medio"},
    {L"write-protected", L"protegida contra escritura"},
    {L"too small", L"demasiado peque\u00f1a"},
    {L"This drive holds no medium: insert one, then click Refresh.",
     L"Esta unidad no tiene ning\u00fan medio: inserta uno y pulsa Actualizar."},
    {L"This drive is write-protected: slide its lock switch off or choose another drive.",
     L"Esta unidad est\u00e1 protegida contra escritura: desbloquea su interruptor o elige otra "
     L"unidad."},
    {L"This drive is too small: choose one of at least {size}.",
     L"Esta unidad es demasiado peque\u00f1a: elige una de al menos {size}."},
    // The question before a build.
    {L"Cancel", L"Cancelar"},
    {L"Continue", L"Continuar"},
    {L"Files on this drive may be lost", L"Los archivos de esta unidad pueden perderse"},
    {L"Creating the rescue USB drive may erase the files on it. Copy the ones you want to keep "
     L"to another place first.",
     L"Al crear el USB de an\u00e1lisis se pueden borrar los archivos que contiene. Copia "
     L"antes en otro lugar los que quieras conservar."},
    {L"This is a USB disk, not a stick: it may be an external hard disk holding backups. "
     L"Continue only if everything on it may be lost.",
     L"Es un disco USB, no una llave: puede ser un disco externo con copias de seguridad. "
     L"Contin\u00faa solo si todo lo que contiene puede perderse."},
    {L"It holds no files.", L"No contiene archivos."},
    {L"It holds 1 file ({size}).", L"Contiene 1 archivo ({size})."},
    {L"It holds {files} files ({size}).", L"Contiene {files} archivos ({size})."},
    {L"It holds more than {files} files ({size}).",
     L"Contiene m\u00e1s de {files} archivos ({size})."},
    // The progress page's step and download figures.
    {L"Step {step} of {steps}: downloading", L"Paso {step} de {steps}: descargando"},
    {L"Step {step} of {steps}: unpacking", L"Paso {step} de {steps}: descomprimiendo"},
    {L"Step {step} of {steps}: installing", L"Paso {step} de {steps}: instalando"},
    {L"{done} of {total}", L"{done} de {total}"},
    {L"{time} left", L"quedan {time}"},
    {L"Waiting for the server", L"Esperando al servidor"},
    {L"Waiting for the server, try {try} of {tries}",
     L"Esperando al servidor, intento {try} de {tries}"},
    // The finish pages: what to do about a failure, the log's actions, the eject's outcome, and
    // the buttons and next steps.
    {L"Check the internet connection, then click Try again.",
     L"Comprueba la conexi\u00f3n a Internet y pulsa Reintentar."},
    {L"Try again later. If it keeps failing, ask support for help and send them the log.",
     L"Vuelve a intentarlo m\u00e1s tarde. Si sigue fallando, pide ayuda al soporte t\u00e9cnico y "
     L"env\u00edale el registro."},
    {L"Free some space on the computer's disk, then click Try again.",
     L"Libera espacio en el disco del equipo y pulsa Reintentar."},
    {L"Restart the computer, then click Try again. If it keeps failing, ask support for help and "
     L"send them the log.",
     L"Reinicia el equipo y pulsa Reintentar. Si sigue fallando, pide ayuda al soporte "
     L"t\u00e9cnico y env\u00edale el registro."},
    {L"Free some space on {volume}, then click Try again.",
     L"Libera espacio en {volume} y pulsa Reintentar."},
    {L"Download this program again from its publisher and run the new copy.",
     L"Vuelve a descargar este programa de su editor y ejecuta la copia nueva."},
    {L"Use another USB drive, or check this one in another computer, then click Try again.",
     L"Usa otra llave USB, o comprueba esta en otro equipo, y pulsa Reintentar."},
    {L"Close the other program that is creating a rescue USB drive, then click Try again.",
     L"Cierra el otro programa que est\u00e1 creando un USB de an\u00e1lisis y pulsa Reintentar."},
    {L"Click Try again to start over.", L"Pulsa Reintentar para empezar de nuevo."},
    {L"The log could not be opened: {path}", L"No se ha podido abrir el registro: {path}"},
    {L"Copied to the clipboard: {path}", L"Copiado al portapapeles: {path}"},
    {L"The clipboard is busy; the log is in {path}",
     L"El portapapeles est\u00e1 ocupado; el registro est\u00e1 en {path}"},
    {L"You can now unplug {drive}.", L"Ya puedes desconectar {drive}."},
    {L"{drive} is in use: close the files and windows open on it, then click Safely remove again.",
     L"{drive} est\u00e1 en uso: cierra los archivos y ventanas abiertos en ella y vuelve a pulsar "
     L"Expulsar."},
    {L"This computer cannot eject {drive}. Unplug it once its light stops blinking.",
     L"Este equipo no puede expulsar {drive}. Descon\u00e9ctala cuando su luz deje de parpadear."},
    {L"{drive} could not be ejected (error {code}): close what uses it, then click Safely remove "
     L"again.",
     L"No se ha podido expulsar {drive} (error {code}): cierra lo que la est\u00e9 usando y vuelve "
     L"a pulsar Expulsar."},
    {L"Try again", L"Reintentar"},
    {L"Open log", L"Abrir registro"},
    {L"Copy", L"Copiar"},
    {L"Safely remove", L"Expulsar"},
    {L"Make another", L"Crear otro"},
    {L"Click Safely remove before you unplug the USB drive.",
     L"Pulsa Expulsar antes de desconectar la llave USB."},
    {L"To start a computer from it, press its boot-menu key as it starts (F12, F11, F8 or Esc: it "
     L"varies by maker).",
     L"Para arrancar un equipo con ella, pulsa su tecla del men\u00fa de arranque al encenderlo "
     L"(F12, F11, F8 o Esc: depende del fabricante)."},
    {L"If the computer will not start from it, allow it in the computer's Secure Boot settings.",
     L"Si el equipo no arranca con ella, perm\u00edtela en la configuraci\u00f3n de arranque "
     L"seguro (Secure Boot) del equipo."},
};

// Keys only the code looks up; the window does not hold them.
const std::wstring kCodeOnly[] = {
    L"Could not install the rescue USB drive",
    L"Installing the rescue USB drive",
    L"Stop creating the rescue USB drive?",
    L"The rescue USB drive is not finished. Stop now and discard what was downloaded?",
    L"There was an error trying to create the rescue USB drive. Please try again.",
    L"Details in {path}",
    L"Download: the download of {file} failed.",
    L"Download: the download of {file} was cut off.",
    L"Download: the server did not send {file} (status {status}).",
    L"Download: the server could not be reached.",
    L"Download: {file} could not be saved.",
    L"Download: there is not enough free space for {file}.",
    L"Download: {file} is larger than expected.",
    L"Installing: another build is running.",
    L"Installing: the installer could not start.",
    L"Installing: the installer failed (code {code}).",
    L"Installing: the installer is missing from the archives.",
    L"Installing: the installer is not authentic.",
    L"Preparing: the working folder could not be made ready.",
    L"The build was stopped.",
    L"Unpacking: not enough free space on {volume}.",
    L"Unpacking: the archive {file} is damaged.",
    L"Unpacking: the archive {file} asks for too much work.",
    L"Unpacking: not enough memory to unpack {file}.",
    L"Download: the download of {file} is not authentic.",
    L"Download: the rescue system is older than the one already used on this computer.",
    L"Unpacking: the extraction library could not be loaded.",
    L"Unpacking: {entry} could not be written.",
    L"Unpacking: {file} was refused to protect this computer, because of its entry {entry}",
    L"USB disk",
    L"no medium",
    L"write-protected",
    L"too small",
    L"This drive holds no medium: insert one, then click Refresh.",
    L"This drive is write-protected: slide its lock switch off or choose another drive.",
    L"This drive is too small: choose one of at least {size}.",
    L"It holds no files.",
    L"It holds 1 file ({size}).",
    L"It holds {files} files ({size}).",
    L"It holds more than {files} files ({size}).",
    L"Step {step} of {steps}: downloading",
    L"Step {step} of {steps}: unpacking",
    L"Step {step} of {steps}: installing",
    L"{done} of {total}",
    L"{time} left",
    L"Waiting for the server",
    L"Waiting for the server, try {try} of {tries}",

    L"Check the internet connection, then click Try again.",
    L"Try again later. If it keeps failing, ask support for help and send them the log.",
    L"Free some space on the computer's disk, then click Try again.",
    L"Restart the computer, then click Try again. If it keeps failing, ask support for help and "
    L"send them the log.",
    L"Free some space on {volume}, then click Try again.",
    L"Download this program again from its publisher and run the new copy.",
    L"Use another USB drive, or check this one in another computer, then click Try again.",
    L"Close the other program that is creating a rescue USB drive, then click Try again.",
    L"Click Try again to start over.",
    L"The log could not be opened: {path}",
    L"Copied to the clipboard: {path}",
    L"The clipboard is busy; the log is in {path}",
    L"You can now unplug {drive}.",
    L"{drive} is in use: close the files and windows open on it, then click Safely remove again.",
    L"This computer cannot eject {drive}. Unplug it once its light stops blinking.",
    L"{drive} could not be ejected (error {code}): close what uses it, then click Safely remove "
    L"again."};

bool SortedByCodeUnits(const std::vector<std::wstring>& lines) {
  return std::is_sorted(lines.begin(), lines.end(), [](const auto& a, const auto& b) {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](wchar_t x, wchar_t y) { return static_cast<uint16_t>(x) < static_cast<uint16_t>(y); });
  });
}

TEST(StoredTable, HoldsTheIdentityLanguageAndSpanish) {
  const auto table = LoadStoredTranslationTable();
  ASSERT_EQ(table.languages.size(), 2u);
  EXPECT_EQ(table.languages[0].name, L"\u00f1\u00f1");
  EXPECT_EQ(table.languages[1].name, L"es");

  std::vector<std::wstring> identity, spanish;
  for (const auto& [key, value] : kSpanish) {
    identity.push_back(key + L"=" + key);
    spanish.push_back(key + L"=" + value);
  }
  for (auto* lines : {&identity, &spanish})
    std::sort(lines->begin(), lines->end());  // all-BMP texts: the order of code units
  EXPECT_EQ(table.languages[0].lines, identity);
  EXPECT_EQ(table.languages[1].lines, spanish);
  // A space sorts before '=', so the longer key precedes its prefix key.
  const auto& lines = table.languages[1].lines;
  EXPECT_LT(std::find(lines.begin(), lines.end(),
                      L"Install the rescue USB drive=Instala el "
                      L"an\u00e1lisis autoarrancable en USB"),
            std::find(lines.begin(), lines.end(), L"Install=Instalar"));
}

// The 31 texts the window shows and the 6 that name its pictures, list and bar for screen readers.
TEST(StoredTable, WindowTextListHoldsTheThirtySevenWindowTextsSorted) {
  const auto table = LoadStoredTranslationTable();
  std::vector<std::wstring> expected;
  for (const auto& entry : kSpanish)
    if (std::find(std::begin(kCodeOnly), std::end(kCodeOnly), entry.first) == std::end(kCodeOnly))
      expected.push_back(entry.first);
  ASSERT_EQ(expected.size(), 37u);
  EXPECT_EQ(table.window_texts, expected);
  EXPECT_TRUE(SortedByCodeUnits(table.window_texts));
  for (const auto& language : table.languages) EXPECT_TRUE(SortedByCodeUnits(language.lines));
}

}  // namespace
