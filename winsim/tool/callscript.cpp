// call scripts (to be implemented)
