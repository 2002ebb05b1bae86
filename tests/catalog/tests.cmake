quillon_test(catalog_tests quillon_catalog
    catalog/BrowserTest.cpp
    catalog/BuildMetadataTest.cpp
    catalog/CatalogueTest.cpp
    catalog/LinuxCatalogueTest.cpp
    catalog/PatternTest.cpp
    catalog/TemporaryBuildTest.cpp)
# The binary-encoding tests write property lists with the library itself.
target_link_libraries(catalog_tests PRIVATE PkgConfig::PLIST)
# Every group of the catalogue must have a rule in the running-tool table.
target_link_libraries(catalog_tests PRIVATE quillon_guard)
