# The program's version comes from project() and reaches the code through one generated header
# (target gw_version), so that `glyphwright-cli --version`, the About screen, the package, its
# changelog and the AppStream release always agree. GW_RELEASE_DATE is the date of that release.
set(GW_RELEASE_DATE 2026-12-09)
configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in ${PROJECT_BINARY_DIR}/generated/GlyphwrightVersion.h @ONLY)
add_library(gw_version INTERFACE)
target_include_directories(gw_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
