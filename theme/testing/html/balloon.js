// The recording theme's balloon page; it answers inNewGame and inNews with
// 300 x 120 unless a test asks otherwise.
testPageName = 'balloon';
