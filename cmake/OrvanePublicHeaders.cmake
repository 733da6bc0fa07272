# Each installed header compiles on its own, seeing only the installed include directories of its
# library and of what that library links publicly: one generated source per header, built as an
# object library in the normal build. A header that leans on an include it does not make, or on an
# internal header, fails the build here before it fails a user.
function(orvane_check_public_headers name include_dir library)
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS RELATIVE ${include_dir} ${include_dir}/*.h)
  set(sources)
  foreach(header IN LISTS headers)
    string(MAKE_C_IDENTIFIER ${header} stem)
    set(source ${CMAKE_BINARY_DIR}/public_headers/${name}/${stem}.cpp)
    # Twice: the second inclusion must add nothing (the include guard works).
    file(CONFIGURE OUTPUT ${source} CONTENT "#include <${header}>\n#include <${header}>\n" @ONLY)
    list(APPEND sources ${source})
  endforeach()
  add_library(${name} OBJECT ${sources})
  # Only the usage requirements of the library itself: its public include directories, never its
  # sources or internal folders.
  target_link_libraries(${name} PRIVATE ${library})
  orvane_set_warnings(${name})
endfunction()

orvane_check_public_headers(orvane_public_headers_base ${CMAKE_SOURCE_DIR}/base/include Orvane::Base)
orvane_check_public_headers(orvane_public_headers_hal ${CMAKE_SOURCE_DIR}/hal/include Orvane::Hal)
orvane_check_public_headers(orvane_public_headers_driver ${CMAKE_SOURCE_DIR}/driver/include Orvane::Driver)
