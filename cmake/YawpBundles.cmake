# What goes into the plug-in bundles besides the modules: the editor's page,
# on Windows the WebView2 loader library, and on Linux the editor helper
# program yawp-wah-editor (it needs WebKitGTK 4.1, libwebkit2gtk-4.1-0, at
# run time).
#
# WebView2Loader.dll is Microsoft's redistributable (the x64 file of the
# Microsoft.Web.WebView2 NuGet package, build/native/x64/). It is optional:
# without it the editors find the installed WebView2 runtime themselves. It
# cannot be built here, so the build copies it in when told where it is:
#
#   cmake --preset windows -DYAWP_WEBVIEW2_LOADER=/path/to/WebView2Loader.dll
set(YAWP_WEBVIEW2_LOADER "" CACHE FILEPATH
  "WebView2Loader.dll (x64) to copy into the Windows bundles (optional: the editors find the installed runtime)")

set(YAWP_PAGE_DIR ${PROJECT_SOURCE_DIR}/resources)

if(WIN32)
  if(YAWP_WEBVIEW2_LOADER AND NOT EXISTS "${YAWP_WEBVIEW2_LOADER}")
    message(FATAL_ERROR "YAWP_WEBVIEW2_LOADER names a file that does not exist: ${YAWP_WEBVIEW2_LOADER}")
  endif()
endif()

# The preset files in resources/presets/ are sources of the build, not part
# of the page; no bundle carries them.
set(YAWP_PAGE_EXCLUDED presets)

# yawp_copy_page(TARGET DESTINATION): the target (built by default) puts the
# page's files into DESTINATION, replacing any earlier copy, so a file
# removed from resources/ does not linger in a bundle.
function(yawp_copy_page target destination)
  file(GLOB_RECURSE page_files CONFIGURE_DEPENDS ${YAWP_PAGE_DIR}/*)
  file(GLOB top_entries RELATIVE ${YAWP_PAGE_DIR} ${YAWP_PAGE_DIR}/*)
  list(REMOVE_ITEM top_entries ${YAWP_PAGE_EXCLUDED})
  set(old_entries "")
  set(copies "")
  foreach(entry IN LISTS top_entries)
    list(APPEND old_entries "${destination}/${entry}")
    if(IS_DIRECTORY ${YAWP_PAGE_DIR}/${entry})
      list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_directory ${YAWP_PAGE_DIR}/${entry} "${destination}/${entry}")
    else()
      list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy ${YAWP_PAGE_DIR}/${entry} "${destination}/${entry}")
    endif()
  endforeach()
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.stamp)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${old_entries} "${destination}/${YAWP_PAGE_EXCLUDED}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${destination}"
    ${copies}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${page_files}
    COMMENT "Copying the editor page into ${destination}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${stamp})
endfunction()

# yawp_copy_loader(TARGET DESTINATION): on Windows, when YAWP_WEBVIEW2_LOADER
# is set, the target puts WebView2Loader.dll into DESTINATION; otherwise it
# takes away one left there by an earlier configuration, so that a bundle
# never ships a loader the build was not given.
function(yawp_copy_loader target destination)
  if(WIN32 AND YAWP_WEBVIEW2_LOADER)
    set(copied "${destination}/WebView2Loader.dll")
    add_custom_command(OUTPUT "${copied}"
      COMMAND ${CMAKE_COMMAND} -E make_directory "${destination}"
      COMMAND ${CMAKE_COMMAND} -E copy "${YAWP_WEBVIEW2_LOADER}" "${copied}"
      DEPENDS "${YAWP_WEBVIEW2_LOADER}"
      COMMENT "Copying WebView2Loader.dll into ${destination}"
      VERBATIM)
    add_custom_target(${target} ALL DEPENDS "${copied}")
  elseif(WIN32)
    add_custom_target(${target} ALL
      COMMAND ${CMAKE_COMMAND} -E rm -f "${destination}/WebView2Loader.dll"
      VERBATIM)
  else()
    add_custom_target(${target})
  endif()
endfunction()

# yawp_copy_editor_helper(TARGET DESTINATION): on Linux the target puts the
# helper program yawp-wah-editor beside the module, where the plug-in looks
# for it. Nothing on Windows.
function(yawp_copy_editor_helper target destination)
  if(NOT WIN32)
    add_custom_target(${target} ALL
      COMMAND ${CMAKE_COMMAND} -E make_directory "${destination}"
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:yawp-wah-editor> "${destination}/"
      DEPENDS yawp-wah-editor
      COMMENT "Copying the editor helper into ${destination}"
      VERBATIM)
  endif()
endfunction()
