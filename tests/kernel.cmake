# Test kernel libraries for the launcher's tests: one that records what its
# runtime entry was given, one without the GetNewSock export, one whose
# GetNewSock refuses.
foreach(kind recording noexport refusing)
  add_library(tulora_testkernel_${kind} SHARED ${CMAKE_CURRENT_SOURCE_DIR}/testkernel/testkernel.cc)
  string(TOUPPER ${kind} kind_upper)
  target_compile_definitions(tulora_testkernel_${kind} PRIVATE TESTKERNEL_${kind_upper}=1)
  target_include_directories(tulora_testkernel_${kind} PRIVATE ${PROJECT_SOURCE_DIR})
  set_target_properties(tulora_testkernel_${kind} PROPERTIES PREFIX "" SUFFIX ".so")
endforeach()
