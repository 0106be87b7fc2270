# Fills a template's @VARIABLES@ at build time with the formats the programs read (FORMATS, the
# script format_list writes) and the version: cmake -DIN= -DOUT= -DFORMATS= -DPROJECT_VERSION= -P
include(${FORMATS})
configure_file(${IN} ${OUT} @ONLY)
