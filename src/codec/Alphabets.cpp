// Filled in by the alphabet tables.
