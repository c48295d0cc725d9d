# cmake -DLIBRARY=<name> -DFILES=<file;...> -P CheckNotNeeded.cmake
# Fails when the dynamic section of any of FILES needs a library whose name
# starts with LIBRARY, or when a file's dynamic section cannot be read.
foreach(file IN LISTS FILES)
  execute_process(COMMAND readelf -d ${file} OUTPUT_VARIABLE section RESULT_VARIABLE status)
  string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]]+\\]" needed "${section}")
  if(NOT status EQUAL 0 OR NOT needed)
    message(FATAL_ERROR "${file}: no dynamic section to read")
  endif()
  foreach(entry IN LISTS needed)
    if(entry MATCHES "\\[${LIBRARY}[.-]")
      message(FATAL_ERROR "${file} needs ${LIBRARY}: ${entry}")
    endif()
  endforeach()
  list(LENGTH needed count)
  message(STATUS "${file}: ${count} libraries needed, no ${LIBRARY}")
endforeach()
