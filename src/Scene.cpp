/*
 * The scene interface's defaults: a scene that draws nothing until a subclass does.
 */
#include "Scene.h"

Scene::Scene() : pInfo(nullptr) {}

void Scene::run(float f) { (void)f; }

Scene::~Scene() {}

void Scene::setInfo(info_t* pInfo_) { pInfo = pInfo_; }
