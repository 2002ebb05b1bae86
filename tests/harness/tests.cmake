# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

# The adversarial harness (see harness/AdversarialTrialsTest.cpp): statx and unlinkat are wrapped at link time so
# that the referee (harness/Referee.cpp) sees every look-up and deletion of the cleaner.
quillon_test(harness_tests quillon_engine KIND harness harness/Referee.cpp harness/AdversarialTrialsTest.cpp)
target_link_options(harness_tests PRIVATE -Wl,--wrap=statx -Wl,--wrap=unlinkat)
# Alone: the real open-file query of other test programs would see its folders held open while they go.
set_tests_properties(harness_tests PROPERTIES RUN_SERIAL TRUE)
