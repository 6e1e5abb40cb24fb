# Authenticode signing of the shipped programs, as a vendor signs a release:
#   VM_SIGN_PKCS12          the code-signing certificate and its key (PKCS#12)
#   VM_SIGN_PASSWORD_FILE   a file whose first line is that file's password
#   VM_SIGN_TIMESTAMP_URL   an RFC 3161 timestamp server (optional)
#   VM_SIGN_CA_FILE         the certificates the signature must verify against
#                           (optional; osslsigncode's default is the system's)
# Each is a cache variable, or else the environment variable of the same name
# at configure time. The password is read from its file by osslsigncode, so it
# appears neither in the cache nor on a command line. Without a certificate
# nothing is signed, and the programs are byte for byte those of any other
# unsigned build.
foreach(setting VM_SIGN_PKCS12 VM_SIGN_PASSWORD_FILE VM_SIGN_CA_FILE VM_SIGN_TIMESTAMP_URL)
  set(type FILEPATH)
  if(setting STREQUAL "VM_SIGN_TIMESTAMP_URL")
    set(type STRING)
  endif()
  set(${setting} "" CACHE ${type} "Signing of the shipped programs: see cmake/signing.cmake")
  if("${${setting}}" STREQUAL "" AND DEFINED ENV{${setting}})
    set(${setting} "$ENV{${setting}}")
  endif()
endforeach()

if(VM_SIGN_PKCS12)
  find_program(VM_OSSLSIGNCODE osslsigncode REQUIRED)
  message(STATUS "Signing setup.exe and the uninstaller with ${VM_SIGN_PKCS12}")
endif()

# Signs the target's program in place once vm_ship_stripped has stripped it
# (call it after that): a signature covers every byte of the image, so nothing
# may change the program afterwards. A new certificate signs it again.
function(vm_sign_shipped target)
  if(NOT VM_SIGN_PKCS12)
    return()
  endif()
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${VM_SIGN_PKCS12})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${target}> -DOSSLSIGNCODE=${VM_OSSLSIGNCODE}
            -DPKCS12=${VM_SIGN_PKCS12} -DPASSWORD_FILE=${VM_SIGN_PASSWORD_FILE}
            -DTIMESTAMP_URL=${VM_SIGN_TIMESTAMP_URL} -DCA_FILE=${VM_SIGN_CA_FILE}
            -P ${CMAKE_SOURCE_DIR}/cmake/sign_program.cmake
    VERBATIM)
endfunction()
