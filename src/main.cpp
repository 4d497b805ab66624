// Entry point of the fiscal core; filled in with the host link and the core worker.
int main() { return 0; }
