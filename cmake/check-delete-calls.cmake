# Fails when a source outside the delete guard deletes on its own: every
# delete must pass the guard, so only common/DeleteGuard.cpp may call the
# system's delete entry points. Tests clean up their own temporary folders
# and are left out.
#   cmake -DSOURCE_DIR=... -P check-delete-calls.cmake
file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}"
     "${SOURCE_DIR}/*.cpp" "${SOURCE_DIR}/*.h")
set(pattern "(^|[^A-Za-z0-9_>.])(::)?(DeleteFile[AW]|DeleteFileTransacted[AW]|RemoveDirectory[AW]|SHFileOperation[AW]?|_wremove|_wrmdir|remove_all)[ \t]*\\(")
set(offenders "")
foreach(source IN LISTS sources)
  if(source MATCHES "^(build|tests)/" OR source STREQUAL "common/DeleteGuard.cpp")
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/${source}" hits REGEX "${pattern}")
  if(hits)
    list(APPEND offenders "${source}: ${hits}")
  endif()
endforeach()
if(offenders)
  string(REPLACE ";" "\n" text "${offenders}")
  message(FATAL_ERROR "deletes that bypass common/DeleteGuard:\n${text}")
endif()
