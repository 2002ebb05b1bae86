quillon_test(catalog_tests quillon_catalog
    catalog/BuildMetadataTest.cpp catalog/CatalogueTest.cpp catalog/TemporaryBuildTest.cpp)
# Every group of the catalogue must have a rule in the running-tool table.
target_link_libraries(catalog_tests PRIVATE quillon_guard)
target_compile_definitions(catalog_tests PRIVATE QUILLON_METADATA_CORPUS="${PROJECT_SOURCE_DIR}/fuzz/corpus/metadata")
