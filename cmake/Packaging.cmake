# Packages made with cpack from the install layout: a Debian package on Linux
# (cpack -G DEB), a zip of the converter on Windows (cpack -G ZIP).
set(CPACK_PACKAGE_NAME velorin-pelkin)
set(CPACK_PACKAGE_VENDOR Quillet)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert scanned drawings into line segments for CAD")
set(CPACK_PACKAGE_CONTACT "VelorinPelkin developers <velorin-pelkin@localhost>")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_PACKAGE_DESCRIPTION "Velorin Pelkin reads a scanned drawing (BMP, TIFF, PNG, JPEG, PBM or PDF) in
black and white, grey or colour, telling the ink from the paper even under
uneven light, thins its strokes and traces them into straight line segments, or
fits them with the lines, arcs and circles they were drawn with, saved as DXF,
as a jw_cad drawing, as SVG or as coordinate text at the drawing's true size.

The package holds the desktop program velorin-pelkin and the command-line
converter vpconvert.")
# Without them Qt's own dialogs speak English and the Japanese captions fall
# back to whatever font there is.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-ipafont-gothic")
# The libraries' packages as dpkg-shlibdeps finds them from the programs. Debian
# has MuPDF as a static library only (libmupdf-dev), linked in: what it needs in
# turn (jbig2dec, OpenJPEG, FreeType, HarfBuzz...) is found the same way.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME vpconvert-${PROJECT_VERSION}-windows-x64)
else()
  set(CPACK_GENERATOR DEB)
endif()
include(CPack)
