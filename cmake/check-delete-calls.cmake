# Fails when a source outside the delete guard deletes on its own: every
# delete must pass the guard, so only common/DeleteGuard.cpp may call the
# system's delete entry points. Tests clean up their own temporary folders
# and are left out; so is platform/, which lies below the guard's library:
# its archive DLL removes only the temporary file a call created itself, and
# the tests' PowerShell stand-in the one font file it was told to. The
# removal benchmark's plain loop (bench/removal_floor.cpp) is the floor the
# guard's removal is timed against and touches only the benchmark's tree.
# Deleting through a handle (a delete disposition, delete on close) is the
# guard's too: only it, its tree walk (common/TreeRemoval.cpp), its acts
# through handles (common/GuardedRemovals.cpp), the file acts they stand on
# (common/FileActs.cpp) and the table of system calls under those acts with
# the layer that keeps Windows' rules there (common/FileCalls.cpp,
# common/WindowsRules.cpp) do so.
#   cmake -DSOURCE_DIR=... -P check-delete-calls.cmake
# The build folders (with the Wine prefix's links) and the tests stay out.
file(GLOB tops LIST_DIRECTORIES true RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*")
set(sources "")
foreach(top IN LISTS tops)
  if(NOT IS_DIRECTORY "${SOURCE_DIR}/${top}" OR top MATCHES "^(build.*|tests|platform|\\..*)$")
    continue()
  endif()
  file(GLOB_RECURSE found RELATIVE "${SOURCE_DIR}"
       "${SOURCE_DIR}/${top}/*.cpp" "${SOURCE_DIR}/${top}/*.h" "${SOURCE_DIR}/${top}/*.c")
  list(APPEND sources ${found})
endforeach()
set(pattern "(^|[^A-Za-z0-9_>.])(::)?(DeleteFile[AW]|DeleteFileTransacted[AW]|RemoveDirectory[AW]|SHFileOperation[AW]?|_wremove|_wrmdir|remove_all)[ \t]*\\(")
set(handle_pattern "(FileDispositionInf|FILE_DISPOSITION_|FILE_FLAG_DELETE_ON_CLOSE|FILE_DELETE_ON_CLOSE|DisposeOf)")
set(offenders "")
foreach(source IN LISTS sources)
  if(source MATCHES "^common/(DeleteGuard|TreeRemoval|GuardedRemovals|FileActs|FileCalls|WindowsRules)\\.(cpp|h)$" OR
     source STREQUAL "bench/removal_floor.cpp")
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/${source}" hits REGEX "${pattern}|${handle_pattern}")
  if(hits)
    list(APPEND offenders "${source}: ${hits}")
  endif()
endforeach()
if(offenders)
  string(REPLACE ";" "\n" text "${offenders}")
  message(FATAL_ERROR "deletes that bypass common/DeleteGuard:\n${text}")
endif()
