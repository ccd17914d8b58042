// The program's check that the loaded page belongs to one of its themes.
// The build without it (noprobe.js) lets a test see how the program treats
// a page that is not a theme page.

function inTestQuivmarkSkin() {
  testRecord('inTestQuivmarkSkin', arguments);
  return testAnswer('inTestQuivmarkSkin');
}
