# The installer's signer pin and the test signers.
#
# The wizard starts ColdInstall.exe only when its Authenticode signer certificate has one of the
# SHA-256 values in INSTALLER_SIGNER_SHA256 (`;`-separated, hex). A deployment sets it to the
# vendor's signer. A test build (RESCUE_TEST_BUILD=ON) may leave it empty and then pins a test
# signer of its own: a self-signed certificate made here once per build folder by openssl, with
# which the stand-in installer (and the tests' probe) is signed after linking. A second key, never
# pinned, signs the tests' negative cases. A Windows build with neither a pin nor the test switch
# does not configure: a program that quietly trusts a throwaway key must never ship.
set(INSTALLER_SIGNER_SHA256 "" CACHE STRING
    "SHA-256 values (hex, ;-separated) of the installer's allowed signer certificates")
option(RESCUE_TEST_BUILD "A test build: with no signer pinned, pin a test signer of this build's own" OFF)

if(NOT WIN32)
  return()
endif()
if(NOT INSTALLER_SIGNER_SHA256 AND NOT RESCUE_TEST_BUILD)
  message(FATAL_ERROR "No installer signer is pinned. Set -DINSTALLER_SIGNER_SHA256=<SHA-256 of "
                      "the vendor's signer certificate>, or -DRESCUE_TEST_BUILD=ON for a test build "
                      "that pins a throwaway test signer.")
endif()

find_program(OPENSSL_EXECUTABLE openssl REQUIRED)
find_program(OSSLSIGNCODE_EXECUTABLE osslsigncode REQUIRED)
set(SIGNING_DIR ${CMAKE_BINARY_DIR}/signing)
file(MAKE_DIRECTORY ${SIGNING_DIR})

# Makes SIGNING_DIR/<name>.key and .crt (kept once made) and sets <name>_SHA256 to the SHA-256 of
# the certificate's DER encoding.
function(make_test_signer name subject)
  set(key ${SIGNING_DIR}/${name}.key)
  set(crt ${SIGNING_DIR}/${name}.crt)
  if(NOT EXISTS ${crt})
    execute_process(
      COMMAND ${OPENSSL_EXECUTABLE} req -x509 -newkey rsa:2048 -nodes -keyout ${key} -out ${crt}
              -days 3650 -subj "/CN=${subject}" -addext "extendedKeyUsage=codeSigning"
      RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
    if(result)
      message(FATAL_ERROR "openssl could not make the test signer ${name}")
    endif()
  endif()
  execute_process(COMMAND ${OPENSSL_EXECUTABLE} x509 -in ${crt} -outform DER -out ${crt}.der
                  RESULT_VARIABLE result)
  if(result)
    message(FATAL_ERROR "openssl could not read the test signer ${name}")
  endif()
  file(SHA256 ${crt}.der hash)
  set(${name}_SHA256 ${hash} PARENT_SCOPE)
endfunction()

make_test_signer(test_signer "Rescue drive test signer")
make_test_signer(other_signer "Someone else")

set(INSTALLER_PINNED_SIGNERS "${INSTALLER_SIGNER_SHA256}")
if(NOT INSTALLER_PINNED_SIGNERS)
  set(INSTALLER_PINNED_SIGNERS ${test_signer_SHA256})
endif()

# Signs the program that `target` links, in place, with the test signer.
function(sign_with_test_signer target)
  # osslsigncode will not overwrite its output: a failed earlier run may have left one.
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E rm -f $<TARGET_FILE:${target}>.signed
    COMMAND ${OSSLSIGNCODE_EXECUTABLE} sign -certs ${SIGNING_DIR}/test_signer.crt
            -key ${SIGNING_DIR}/test_signer.key -h sha256
            -in $<TARGET_FILE:${target}> -out $<TARGET_FILE:${target}>.signed
    COMMAND ${CMAKE_COMMAND} -E rename $<TARGET_FILE:${target}>.signed $<TARGET_FILE:${target}>
    VERBATIM)
endfunction()
