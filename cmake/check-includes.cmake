# Refuses an #include that climbs out of a folder ("../"): every header is reached as
# "<folder>/<name>.h" through the folder's own library, which the build gives only to the layers
# above it (see the layout table in README.md). Runs when the build is configured and as the test
# layout_includes: cmake -DZV_SOURCE_DIR=<source folder> -P cmake/check-includes.cmake
set(folders app bench cpflight flightdata fuzz net panel platform protocol record sim simclient simlink simwire tools tests)
set(globs)
foreach(folder ${folders})
  list(APPEND globs ${ZV_SOURCE_DIR}/${folder}/*.cpp ${ZV_SOURCE_DIR}/${folder}/*.h)
endforeach()
file(GLOB_RECURSE sources RELATIVE ${ZV_SOURCE_DIR} ${globs})
set(climbing)
foreach(source ${sources})
  file(STRINGS ${ZV_SOURCE_DIR}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]*\\.\\./")
  foreach(line ${lines})
    string(STRIP "${line}" line)
    list(APPEND climbing "${source}: ${line}")
  endforeach()
endforeach()
if(climbing)
  list(JOIN climbing "\n  " text)
  message(FATAL_ERROR "Includes that climb out of their folder (write \"<folder>/<name>.h\"):\n  ${text}")
endif()
