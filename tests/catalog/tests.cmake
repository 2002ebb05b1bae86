# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

quillon_test(catalog_tests quillon_catalog
    catalog/BuildMetadataTest.cpp catalog/CatalogueTest.cpp catalog/TemporaryBuildTest.cpp)
target_compile_definitions(catalog_tests PRIVATE QUILLON_METADATA_CORPUS="${PROJECT_SOURCE_DIR}/fuzz/corpus/metadata")
