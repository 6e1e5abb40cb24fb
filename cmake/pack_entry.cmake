# Packs one payload entry: copies payload/<id>/ into a staging folder, leaves
# out the placeholders that keep empty folders in version control, adds the
# programs the build made for this entry, and runs the host packer on it.
#   -DSOURCE=payload/<id>  -DSTAGE=<staging folder>  -DOUTPUT=<entry file>
#   -DVMPACK=<host vmpack>  -DTIME=<FILETIME>  -DLEVEL=<packer level>
#   -DEXTRA="<file>;<file>"  -DCACHE=<folder of packed entries, or empty>
#
# With a cache, an entry packed before from the same input is taken from it
# instead: both Windows trees pack the same folders with the same host
# packer, and only the entries that carry a tree's own programs differ. An
# entry is found by a hash of everything its bytes follow from: the packer
# itself, its options, and every staged folder's name and file's name and
# bytes (the files' own times are not stored: --time gives every file one).
file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}")
file(COPY "${SOURCE}/" DESTINATION "${STAGE}" PATTERN ".gitkeep" EXCLUDE)
foreach(extra IN LISTS EXTRA)
  file(COPY "${extra}" DESTINATION "${STAGE}")
endforeach()

if(CACHE)
  file(SHA256 "${VMPACK}" packerHash)
  set(input "vmpack ${packerHash}\ntime ${TIME}\nlevel ${LEVEL}\n")
  file(GLOB_RECURSE staged LIST_DIRECTORIES true RELATIVE "${STAGE}" "${STAGE}/*")
  list(SORT staged)
  foreach(name IN LISTS staged)
    if(IS_DIRECTORY "${STAGE}/${name}")
      string(APPEND input "folder ${name}\n")
    else()
      file(SHA256 "${STAGE}/${name}" contentHash)
      string(APPEND input "file ${name}\n${contentHash}\n")
    endif()
  endforeach()
  string(SHA256 inputHash "${input}")
  set(cached "${CACHE}/${inputHash}.entry")
  if(EXISTS "${cached}")
    # configure_file leaves an output of the same bytes as it was; the
    # build must see it renewed.
    configure_file("${cached}" "${OUTPUT}" COPYONLY)
    file(TOUCH "${OUTPUT}")
    return()
  endif()
endif()

execute_process(COMMAND "${VMPACK}" pack --time "${TIME}" --level "${LEVEL}" "${STAGE}" "${OUTPUT}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "vmpack could not pack ${SOURCE}")
endif()

if(CACHE)
  # Stored under a name of its own first and then renamed, so that a tree
  # packing the same entry at the same time never sees half of it.
  file(MAKE_DIRECTORY "${CACHE}")
  string(RANDOM LENGTH 12 unique)
  string(MD5 outputHash "${OUTPUT}")
  set(partial "${cached}.${outputHash}.${unique}")
  configure_file("${OUTPUT}" "${partial}" COPYONLY)
  file(RENAME "${partial}" "${cached}")
endif()
