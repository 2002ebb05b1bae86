quillon_test(catalog_tests quillon_catalog
    catalog/BrowserTest.cpp
    catalog/BuildMetadataTest.cpp
    catalog/CatalogueTest.cpp
    catalog/PatternTest.cpp
    catalog/TemporaryBuildTest.cpp)
# The binary-encoding tests write property lists with the library itself.
target_link_libraries(catalog_tests PRIVATE PkgConfig::PLIST)
