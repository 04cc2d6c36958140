# The product version, set once by project() in the top-level
# CMakeLists.txt, as a header every part of the build includes:
#
#   #include "product_version.h"   // yawp::version::kText, kMajor, ...
#
# through the interface target yawp_version. It needs all four numbers.
if(NOT PROJECT_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "The project version must have four numbers (major.minor.revision.build), not ${PROJECT_VERSION}")
endif()
if(PROJECT_VERSION_PATCH GREATER_EQUAL 100)
  message(FATAL_ERROR "The revision must stay below 100, or LV2 minor versions would not keep the order of releases")
endif()
set(YAWP_VERSION_HEADERS ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${YAWP_VERSION_HEADERS}/product_version.h @ONLY)
add_library(yawp_version INTERFACE)
target_include_directories(yawp_version INTERFACE ${YAWP_VERSION_HEADERS})
