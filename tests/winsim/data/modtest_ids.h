// Resource IDs of the test module, shared by its resource script and the tests.
#ifndef TESTS_MODTEST_IDS_H
#define TESTS_MODTEST_IDS_H

// Strings 100 to 111 share one block of the string table, 112 starts the next; 102 is left out.
#define IDS_FIRST 100
#define IDS_LATIN 101
#define IDS_MISSING 102
#define IDS_LONG 103
#define IDS_NEXT_BLOCK 112
#define IDS_LONG_LENGTH 300

#define ID_BLOB 7

#endif
