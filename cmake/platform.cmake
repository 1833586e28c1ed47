# The one place that picks the platform's back-ends, for the runtime and
# the test support. A seam is a neutral header NAME.h with NAME_posix.cc
# and NAME_win32.cc beside it; the build lists the seam as NAME and gets
# the platform's file.
if(WIN32)
  set(TULORA_PLATFORM win32)
else()
  set(TULORA_PLATFORM posix)
endif()
function(tulora_backends out)
  set(files)
  foreach(seam ${ARGN})
    list(APPEND files ${CMAKE_CURRENT_SOURCE_DIR}/${seam}_${TULORA_PLATFORM}.cc)
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()
