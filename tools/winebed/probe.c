/* Run once before the tests choose a build: exits with 42 only where this
   machine's Wine really runs a program of the architecture it was built for. */
int main(void)
{
    return 42;
}
