# The payload entries of setup.exe: each folder payload/<id>/ is packed by the
# host's vmpack into one entry, and the generated payload.rc links them all as
# resources of type 1000 into the resource script (which includes it).
#
# The host tree must be built first; the Makefile does so.
set(VM_HOST_BUILD_DIR "${CMAKE_SOURCE_DIR}/build/host" CACHE PATH "The host build tree, whose vmpack packs the payload")
set(VM_VMPACK "${VM_HOST_BUILD_DIR}/tools/vmpack/vmpack")
set(VM_PACK_LEVEL 3 CACHE STRING "The packer's level for the payload entries: 1 (fastest) to 3 (smallest)")
# Entries packed once serve every tree built with the same host tree; empty
# packs every entry in this tree.
set(VM_PAYLOAD_CACHE "${VM_HOST_BUILD_DIR}/payload_cache" CACHE PATH "Where packed payload entries are kept for other trees")
# The folders the entries are packed from; the scale benchmark points a tree
# of its own at a larger product laid out the same way.
set(VM_PAYLOAD_ROOT "${CMAKE_SOURCE_DIR}/payload" CACHE PATH "The folder that holds payload/<id>/ for every entry")

# Every file gets the product's release time, so that two builds of one tree
# give the same setup.exe: 15 March 2004, 12:00 UTC, as a FILETIME.
set(VM_PAYLOAD_TIME 127238256000000000)

set(VM_PAYLOAD_IDS 100 101 102 103 104 105 200 300 400 450 500 600 601 1000 1001 1002)
set(VM_PAYLOAD_DIR ${CMAKE_BINARY_DIR}/payload)
set(VM_PAYLOAD_RC "${VM_PAYLOAD_DIR}/payload.rc")
set(VM_PAYLOAD_FILES "")
set(rcLines "// Made by the build from payload/<id>/: one resource of type 1000 per entry.\nLANGUAGE 9, 1\n")

foreach(id IN LISTS VM_PAYLOAD_IDS)
  set(extra "")
  set(extraTargets "")
  # The programs of the product come from this build.
  if(id EQUAL 100)
    set(extra "$<TARGET_FILE:vm>")
    set(extraTargets vm)
  elseif(id EQUAL 1000 AND TARGET _vmunins)
    set(extra "$<TARGET_FILE:_vmunins>")
    set(extraTargets _vmunins)
  endif()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${VM_PAYLOAD_ROOT}/${id}/*)
  set(entry "${VM_PAYLOAD_DIR}/${id}.entry")
  add_custom_command(
    OUTPUT "${entry}"
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${VM_PAYLOAD_ROOT}/${id} -DSTAGE=${VM_PAYLOAD_DIR}/stage/${id}
            -DOUTPUT=${entry} -DVMPACK=${VM_VMPACK} -DTIME=${VM_PAYLOAD_TIME} -DLEVEL=${VM_PACK_LEVEL}
            "-DEXTRA=${extra}" "-DCACHE=${VM_PAYLOAD_CACHE}"
            -P ${CMAKE_SOURCE_DIR}/cmake/pack_entry.cmake
    DEPENDS ${sources} ${extraTargets} ${VM_VMPACK} ${CMAKE_SOURCE_DIR}/cmake/pack_entry.cmake
    COMMENT "Packing payload entry ${id}"
    VERBATIM)
  list(APPEND VM_PAYLOAD_FILES "${entry}")
  string(APPEND rcLines "${id} 1000 \"${entry}\"\n")
endforeach()

file(MAKE_DIRECTORY "${VM_PAYLOAD_DIR}")
file(CONFIGURE OUTPUT "${VM_PAYLOAD_RC}" CONTENT "${rcLines}")
add_custom_target(payload_entries DEPENDS ${VM_PAYLOAD_FILES})
