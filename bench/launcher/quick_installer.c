/* The installer the launcher start benchmark starts: it ends at once. */
int main(void) { return 0; }
