// The peer of the launcher benchmark: an executable that does nothing.
int main() { return 0; }
