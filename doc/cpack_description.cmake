# Read by CPack when it makes the package: the description names the formats the programs read,
# from the list the build made of the format registry.
include(${CPACK_TABLORA_FORMATS_FILE})
set(CPACK_PACKAGE_DESCRIPTION "Tablora walks a folder and its subfolders, collects the pictures \
(${TABLORA_FORMAT_KINDS} files) and lays them out as proof pages with a title, page numbers, \
folder headings and captioned thumbnails, to print or to save as PDF. tablora-cli does the same \
without a window.")
