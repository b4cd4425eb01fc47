#include "Scene.h"

Scene::Scene() : pInfo(nullptr) {}

void Scene::run(float f) { (void)f; }

Scene::~Scene() {}

void Scene::setInfo(info_t* pInfo_) { pInfo = pInfo_; }
