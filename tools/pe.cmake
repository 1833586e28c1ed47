# The reader and writer of Windows executables, and the image assembler
# that puts the program image into the Windows launcher.
add_library(tulora_pefile STATIC ${CMAKE_CURRENT_SOURCE_DIR}/pefile/pe_file.cc)
target_include_directories(tulora_pefile PUBLIC ${PROJECT_SOURCE_DIR})

add_executable(tulora-peassemble ${CMAKE_CURRENT_SOURCE_DIR}/peassemble/main.cc)
target_link_libraries(tulora-peassemble PRIVATE tulora_pefile)

tulora_fuzz(pe_file SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/pefile/pe_file_fuzz.cc LIBS tulora_pefile
  SEED_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/pefile/pe_file_seeds.cc)
