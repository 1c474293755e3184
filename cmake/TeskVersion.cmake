# tesk_version_resource(<target> <original file name> <description> [EXE])
# Gives a shipped binary the common version resource (company "Korvan", project version).
function(tesk_version_resource target filename description)
  set(type VFT_DLL)
  if(ARGN STREQUAL "EXE")
    set(type VFT_APP)
  endif()
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/coinstaller/version.rc)
  set_source_files_properties(${CMAKE_SOURCE_DIR}/coinstaller/version.rc TARGET_DIRECTORY ${target}
    PROPERTIES COMPILE_DEFINITIONS "")
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:RC>:-DTESK_VERSION_COMMA=${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0>
    "$<$<COMPILE_LANGUAGE:RC>:-DTESK_VERSION_TEXT=\\\"${PROJECT_VERSION}.0\\\">"
    "$<$<COMPILE_LANGUAGE:RC>:-DTESK_ORIGINAL_FILENAME=\\\"${filename}\\\">"
    "$<$<COMPILE_LANGUAGE:RC>:-DTESK_FILE_DESCRIPTION=\\\"${description}\\\">"
    $<$<COMPILE_LANGUAGE:RC>:-DTESK_FILE_TYPE=${type}>)
endfunction()
