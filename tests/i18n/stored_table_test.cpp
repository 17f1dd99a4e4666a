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
    {L"Download: the server answered {status} for {file}.",
     L"Descarga: el servidor respondi\u00f3 {status} para {file}."},
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
    {L"Installing: the installer ended with code {code}.",
     L"Instalaci\u00f3n: el instalador termin\u00f3 con el c\u00f3digo {code}."},
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
    {L"Unpacking: {file} holds an entry that cannot be written safely: {entry}",
     L"Descompresi\u00f3n: {file} contiene un elemento que no se puede escribir con seguridad: "
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
};

// Keys only the code looks up; the window does not hold them.
const std::wstring kCodeOnly[] = {
    L"Could not install the rescue USB drive", L"Installing the rescue USB drive",
    L"Stop creating the rescue USB drive?",
    L"The rescue USB drive is not finished. Stop now and discard what was downloaded?",
    L"There was an error trying to create the rescue USB drive. Please try again.",
    L"Details in {path}",
    L"Download: the download of {file} failed.",
    L"Download: the download of {file} was cut off.",
    L"Download: the server answered {status} for {file}.",
    L"Download: the server could not be reached.",
    L"Download: {file} could not be saved.",
    L"Download: there is not enough free space for {file}.",
    L"Download: {file} is larger than expected.",
    L"Installing: another build is running.",
    L"Installing: the installer could not start.",
    L"Installing: the installer ended with code {code}.",
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
    L"Unpacking: {file} holds an entry that cannot be written safely: {entry}",
    L"USB disk", L"no medium", L"write-protected", L"too small",
    L"This drive holds no medium: insert one, then click Refresh.",
    L"This drive is write-protected: slide its lock switch off or choose another drive.",
    L"This drive is too small: choose one of at least {size}."};

bool SortedByCodeUnits(const std::vector<std::wstring>& lines) {
  return std::is_sorted(lines.begin(), lines.end(), [](const auto& a, const auto& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](wchar_t x, wchar_t y) {
                                          return static_cast<uint16_t>(x) <
                                                 static_cast<uint16_t>(y);
                                        });
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
  EXPECT_LT(std::find(lines.begin(), lines.end(), L"Install the rescue USB drive=Instala el "
                                                  L"an\u00e1lisis autoarrancable en USB"),
            std::find(lines.begin(), lines.end(), L"Install=Instalar"));
}

// The 18 texts the window shows and the 6 that name its pictures, list and bar for screen readers.
TEST(StoredTable, WindowTextListHoldsTheTwentyFourWindowTextsSorted) {
  const auto table = LoadStoredTranslationTable();
  std::vector<std::wstring> expected;
  for (const auto& entry : kSpanish)
    if (std::find(std::begin(kCodeOnly), std::end(kCodeOnly), entry.first) == std::end(kCodeOnly))
      expected.push_back(entry.first);
  ASSERT_EQ(expected.size(), 24u);
  EXPECT_EQ(table.window_texts, expected);
  EXPECT_TRUE(SortedByCodeUnits(table.window_texts));
  for (const auto& language : table.languages) EXPECT_TRUE(SortedByCodeUnits(language.lines));
}

}  // namespace
