// The recording theme's main page. It stays passive: it neither sizes the
// window nor calls the program unless a test asks it to (testCall).
testPageName = 'main';
