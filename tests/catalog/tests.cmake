quillon_test(catalog_tests quillon_catalog
    catalog/BrowserTest.cpp
    catalog/BuildMetadataTest.cpp
    catalog/CatalogueTest.cpp
    catalog/PatternTest.cpp
    catalog/TemporaryBuildTest.cpp)
# The metadata tests write and measure property lists with the library itself,
# and replay the committed corpus of the metadata fuzz target.
target_link_libraries(catalog_tests PRIVATE PkgConfig::PLIST)
target_compile_definitions(catalog_tests PRIVATE
    QUILLON_METADATA_CORPUS="${PROJECT_SOURCE_DIR}/fuzz/corpus/metadata")
