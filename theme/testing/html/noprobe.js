// Deliberately empty: this build of the recording theme has no
// inTestQuivmarkSkin, so its main page is not recognised as a theme page.
